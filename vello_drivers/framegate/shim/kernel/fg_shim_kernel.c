// SPDX-License-Identifier: GPL-2.0
/*
 * framegate's register window and interrupts on a current kernel: the camera chip's, or, with sim=1,
 * plain memory and a high-resolution timer that raises the VIF and OSD interrupts at the field rate,
 * so that the module runs on any machine.
 */
#include <linux/hrtimer.h>
#include <linux/ktime.h>
#include <linux/slab.h>
#include <linux/version.h>

#include "../fg_shim.h"
#include "framegate.h"

static bool sim;
module_param(sim, bool, 0444);
MODULE_PARM_DESC(sim, "Simulate the camera chip: registers in memory, VIF/OSD interrupts from a timer");

static unsigned int sim_hz = 60;
module_param(sim_hz, uint, 0444);
MODULE_PARM_DESC(sim_hz, "Simulated field rate in interrupts per second (1..1000, default 60)");

#define FG_SIM_SLOTS 2

struct fg_sim_irq {
    unsigned int irq;
    irq_handler_t handler;
    void* dev;
};

/* Guards sim_irqs; the timer holds it while it calls the handlers, so a freed handler never runs. */
static DEFINE_SPINLOCK(sim_lock);
static struct fg_sim_irq sim_irqs[FG_SIM_SLOTS];
static struct hrtimer sim_timer;
static ktime_t sim_period;
static bool sim_timer_ready;
static void* sim_regs;
static u16 __iomem* sim_enable_reg;

static enum hrtimer_restart fg_sim_tick(struct hrtimer* timer) {
    unsigned long flags;
    int i;

    /* Like the chip, deliver only while the driver has the VIF/OSD bit enabled. */
    if (!(readw(sim_enable_reg) & FG_INT_VIF_OSD)) goto next;
    spin_lock_irqsave(&sim_lock, flags);
    for (i = 0; i < FG_SIM_SLOTS; ++i)
        if (sim_irqs[i].handler) sim_irqs[i].handler(sim_irqs[i].irq, sim_irqs[i].dev);
    spin_unlock_irqrestore(&sim_lock, flags);
next:
    hrtimer_forward_now(timer, sim_period);
    return HRTIMER_RESTART;
}

void __iomem* fg_regs_map(void) {
    if (!sim) {
#ifdef CONFIG_ARM
        return ioremap(FG_REG_WINDOW, FG_REG_WINDOW_SIZE);
#else
        printk(KERN_INFO "framegate: no camera chip on this machine; load with sim=1\n");
        return NULL;
#endif
    }

    if (sim_hz < 1 || sim_hz > 1000) sim_hz = 60;
    sim_period = ns_to_ktime(NSEC_PER_SEC / sim_hz);
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 13, 0)
    hrtimer_setup(&sim_timer, fg_sim_tick, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
#else
    hrtimer_init(&sim_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
    sim_timer.function = fg_sim_tick;
#endif
    sim_timer_ready = true;
    sim_regs = kzalloc(FG_REG_WINDOW_SIZE, GFP_KERNEL);
    if (!sim_regs) return NULL;
    sim_enable_reg = (u16 __force __iomem*)((u8*)sim_regs + (FG_REG_INT_ENABLE - FG_REG_WINDOW));
    printk(KERN_INFO "framegate: simulated chip, VIF and OSD interrupts at %u Hz\n", sim_hz);
    /* Ordinary memory stands in for the registers; readw()/writew() reach it like any other. */
    return (void __force __iomem*)sim_regs;
}

void fg_regs_unmap(void __iomem* regs) {
    if (!regs) return;
    if (!sim) {
        iounmap(regs);
        return;
    }
    if (sim_timer_ready) hrtimer_cancel(&sim_timer);
    kfree(sim_regs);
    sim_regs = NULL;
}

int fg_request_irq(unsigned int irq, irq_handler_t handler, const char* name, void* dev) {
    unsigned long flags;
    int i, used = 0, slot = -1;

    if (!sim) return request_irq(irq, handler, 0, name, dev);

    spin_lock_irqsave(&sim_lock, flags);
    for (i = 0; i < FG_SIM_SLOTS; ++i) {
        if (sim_irqs[i].handler) {
            ++used;
            if (sim_irqs[i].irq == irq) {
                spin_unlock_irqrestore(&sim_lock, flags);
                return -EBUSY;
            }
        } else if (slot < 0) {
            slot = i;
        }
    }
    if (slot < 0) {
        spin_unlock_irqrestore(&sim_lock, flags);
        return -EBUSY;
    }
    sim_irqs[slot].irq = irq;
    sim_irqs[slot].dev = dev;
    sim_irqs[slot].handler = handler;
    spin_unlock_irqrestore(&sim_lock, flags);

    if (used == 0) hrtimer_start(&sim_timer, sim_period, HRTIMER_MODE_REL);
    return 0;
}

void fg_free_irq(unsigned int irq, void* dev) {
    unsigned long flags;
    int i, left = 0;

    if (!sim) {
        free_irq(irq, dev);
        return;
    }
    spin_lock_irqsave(&sim_lock, flags);
    for (i = 0; i < FG_SIM_SLOTS; ++i) {
        if (sim_irqs[i].handler && sim_irqs[i].irq == irq && sim_irqs[i].dev == dev)
            sim_irqs[i].handler = NULL;
        if (sim_irqs[i].handler) ++left;
    }
    spin_unlock_irqrestore(&sim_lock, flags);
    if (left == 0) hrtimer_cancel(&sim_timer);
}
