/*
 * kbuild names each object after its source, and the module is framegate.ko, so the driver's main
 * source is compiled under this name.
 */
#include "../framegate.c"
