/*
 * The kernel services framegate uses, under their kernel names where the user-space build can give
 * them the same meaning, and as FG_ macros where the two builds differ in form:
 *   FG_PRINT / FG_PRINT_RATELIMITED        kernel log
 *   FG_REG_RD / FG_REG_WR                  16-bit register access through the mapped window
 *   FG_WAIT_EVENT_INTERRUPTIBLE            sleep until a condition holds or a signal arrives
 *   fg_regs_map / fg_regs_unmap            the register window (the chip's, or plain memory)
 *   fg_request_irq / fg_free_irq           the chip's interrupts (or the simulated source)
 * plus character devices, user copies, wait queues, deferred work, spinlocks with saved interrupts,
 * mutexes, lists and asynchronous notification.
 */
#ifndef FG_SHIM_H
#define FG_SHIM_H

#include "fg_types.h"

#ifdef __KERNEL__
#include "kernel/fg_shim_kernel.h"
#else
#include "user/fg_shim_user.h"
#endif

#endif
