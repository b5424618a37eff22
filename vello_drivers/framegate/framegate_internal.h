/* What framegate.c and framegate_ioctl.c share beyond framegate.h. */
#ifndef FRAMEGATE_INTERNAL_H
#define FRAMEGATE_INTERNAL_H

#include "fg_shim.h"
#include "framegate.h"

/*
 * fg_lock is "interrupts off": it guards every s_vif field the interrupt handlers or the deferred
 * step touch, the message lists, vifMessage and the registers the handlers also program.
 * fg_ctl_mutex serialises open, release, attach and detach (they may sleep in the interrupt calls);
 * driverRequested and attachIRQ change only with both held, so either one is enough to read them.
 */
extern spinlock_t fg_lock;
extern struct mutex fg_ctl_mutex;

/* Sleepers for fullBufValid / fullBufValidOsd; woken by the VIF interrupt and by detach. */
extern wait_queue_head_t vif_buf_wait;

irqreturn_t framegate_interrupt(int irq, void* dev_id);
irqreturn_t osd_intr_interrupt(int irq, void* dev_id);

long framegate_ioctl(struct file* file, unsigned int cmd, unsigned long arg);

/* Register programming; the caller holds fg_lock. Addresses are physical, in bytes. */
void fg_program_ccdc(u32 addr);
void fg_program_preview(u32 read_addr, u32 write_addr);
void fg_program_osd_window(u32 addr);

/* Disables and frees both interrupts and clears attachIRQ; the caller holds fg_ctl_mutex. */
void fg_detach_irqs(void);

#endif
