#include "api/guard.h"

using klvo::AnyCallback;
using klvo::api::guarded;

namespace {

int add(KLVOprob prob, int kind, AnyCallback f, void *data, int priority, const char *fn) {
  return guarded(prob, fn, [&] { prob->add_callback(kind, f, data, priority, fn); });
}

int remove(KLVOprob prob, int kind, AnyCallback f, void *data, const char *fn) {
  return guarded(prob, fn, [&] { prob->remove_callback(kind, f, data, fn); });
}

}  // namespace

// One pair of entry points per event kind; they differ only in the kind and the type.
#define KLVO_CB_DEFINE(name, type, kind)                                                     \
  int KLVOaddcb##name(KLVOprob prob, type f, void *data, int priority) {                    \
    return add(prob, kind, reinterpret_cast<AnyCallback>(f), data, priority, __func__);      \
  }                                                                                          \
  int KLVOremovecb##name(KLVOprob prob, type f, void *data) {                                \
    return remove(prob, kind, reinterpret_cast<AnyCallback>(f), data, __func__);             \
  }

extern "C" {

KLVO_CB_DEFINE(bariteration, KLVObariterationcb, KLVO_CB_BARITERATION)
KLVO_CB_DEFINE(barlog, KLVObarlogcb, KLVO_CB_BARLOG)
KLVO_CB_DEFINE(chgbranchobject, KLVOchgbranchobjectcb, KLVO_CB_CHGBRANCHOBJECT)
KLVO_CB_DEFINE(cutlog, KLVOcutlogcb, KLVO_CB_CUTLOG)
KLVO_CB_DEFINE(cutround, KLVOcutroundcb, KLVO_CB_CUTROUND)
KLVO_CB_DEFINE(destroymt, KLVOdestroymtcb, KLVO_CB_DESTROYMT)
KLVO_CB_DEFINE(gapnotify, KLVOgapnotifycb, KLVO_CB_GAPNOTIFY)
KLVO_CB_DEFINE(miplog, KLVOmiplogcb, KLVO_CB_MIPLOG)
KLVO_CB_DEFINE(infnode, KLVOinfnodecb, KLVO_CB_INFNODE)
KLVO_CB_DEFINE(intsol, KLVOintsolcb, KLVO_CB_INTSOL)
KLVO_CB_DEFINE(lplog, KLVOlplogcb, KLVO_CB_LPLOG)
KLVO_CB_DEFINE(message, KLVOmessagecb, KLVO_CB_MESSAGE)
KLVO_CB_DEFINE(mipthread, KLVOmipthreadcb, KLVO_CB_MIPTHREAD)
KLVO_CB_DEFINE(newnode, KLVOnewnodecb, KLVO_CB_NEWNODE)
KLVO_CB_DEFINE(nodecutoff, KLVOnodecutoffcb, KLVO_CB_NODECUTOFF)
KLVO_CB_DEFINE(nodelpsolved, KLVOnodelpsolvedcb, KLVO_CB_NODELPSOLVED)
KLVO_CB_DEFINE(optnode, KLVOoptnodecb, KLVO_CB_OPTNODE)
KLVO_CB_DEFINE(preintsol, KLVOpreintsolcb, KLVO_CB_PREINTSOL)
KLVO_CB_DEFINE(prenode, KLVOprenodecb, KLVO_CB_PRENODE)
KLVO_CB_DEFINE(usersolnotify, KLVOusersolnotifycb, KLVO_CB_USERSOLNOTIFY)
KLVO_CB_DEFINE(checktime, KLVOchecktimecb, KLVO_CB_CHECKTIME)
KLVO_CB_DEFINE(beforeobjective, KLVObeforeobjectivecb, KLVO_CB_BEFOREOBJECTIVE)
KLVO_CB_DEFINE(afterobjective, KLVOafterobjectivecb, KLVO_CB_AFTEROBJECTIVE)
KLVO_CB_DEFINE(presolve, KLVOpresolvecb, KLVO_CB_PRESOLVE)

}  // extern "C"
