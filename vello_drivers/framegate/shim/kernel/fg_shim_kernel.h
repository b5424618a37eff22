/* framegate's services on a current Linux kernel. */
#ifndef FG_SHIM_KERNEL_H
#define FG_SHIM_KERNEL_H

#include <linux/errno.h>
#include <linux/fcntl.h>
#include <linux/fs.h>
#include <linux/interrupt.h>
#include <linux/io.h>
#include <linux/kernel.h>
#include <linux/list.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/printk.h>
#include <linux/sched/signal.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/wait.h>
#include <linux/workqueue.h>

#define FG_PRINT(...) printk(KERN_INFO __VA_ARGS__)
#define FG_PRINT_RATELIMITED(...) printk_ratelimited(KERN_INFO __VA_ARGS__)

#define FG_REG_RD(reg) readw(&(reg))
#define FG_REG_WR(reg, v) writew((u16)(v), &(reg))

/* ret = 0 when cond holds, -ERESTARTSYS when a signal ended the sleep. */
#define FG_WAIT_EVENT_INTERRUPTIBLE(ret, wq, cond) ((ret) = wait_event_interruptible(wq, cond))

/* 32-bit encoders on a 64-bit kernel: every pointer argument is a plain user address. */
#define FG_COMPAT_PTR_IOCTL compat_ptr_ioctl

/* The file table's owner field holds the module while the device is open. */
#define FG_MOD_INC_USE_COUNT() \
    do {                       \
    } while (0)
#define FG_MOD_DEC_USE_COUNT() \
    do {                       \
    } while (0)

/*
 * The register window at FG_REG_WINDOW: the chip's registers, or with the module parameter sim=1 a
 * block of ordinary memory. NULL when it cannot be had.
 */
void __iomem* fg_regs_map(void);
void fg_regs_unmap(void __iomem* regs);

/*
 * The chip's interrupts. With sim=1 a high-resolution timer raises both at sim_hz (the field rate),
 * VIF first, from hard-interrupt context, while at least one is requested. fg_free_irq returns only
 * when the handler can no longer run.
 */
int fg_request_irq(unsigned int irq, irq_handler_t handler, const char* name, void* dev);
void fg_free_irq(unsigned int irq, void* dev);

#endif
