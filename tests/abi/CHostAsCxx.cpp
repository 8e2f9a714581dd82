// The C host compiled as C++: the public header must serve both languages.
#include "CHost.c"
