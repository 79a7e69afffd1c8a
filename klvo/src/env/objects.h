// Registry of live library objects, so that an opaque pointer handed to a message handler can
// be named (KLVOgetobjecttypename).
#pragma once

namespace klvo {

void register_object(const void *obj, const char *type_name);
void forget_object(const void *obj);
// The registered type name; throws Error naming fn when obj is not a live library object.
const char *object_type_name(const void *obj, const char *fn);

}  // namespace klvo
