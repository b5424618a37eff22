/* Fixed-width types and the register-window qualifier, for the kernel build and the user-space build. */
#ifndef FG_TYPES_H
#define FG_TYPES_H

#ifdef __KERNEL__
#include <linux/types.h>
/* Registers are reached through readw()/writew() on an __iomem mapping. */
#define FG_IOMEM __iomem
#else
#include <stdint.h>
typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int32_t s32;
/* In user space the registers are plain memory that the tests inspect; volatile keeps every access. */
#define FG_IOMEM volatile
#endif

#endif
