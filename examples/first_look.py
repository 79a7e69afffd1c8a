"""A first look at kelvo: the library behind it and a first problem."""

import kelvo

print("kelvo", kelvo.getversion() if hasattr(kelvo, "getversion") else "(module core not built yet)")
if hasattr(kelvo, "getbanner"):
    print(kelvo.getbanner())
