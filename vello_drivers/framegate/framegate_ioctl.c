/* framegate's requests: set-up, buffer exchange and the interrupt attachment. */
#include "framegate_internal.h"

/* Reads the request's 32-bit value from user memory. */
static int fg_get_u32(unsigned long arg, u32* value) {
    return copy_from_user(value, (const void __user*)arg, sizeof *value) ? -EFAULT : 0;
}

static int fg_put_u32(unsigned long arg, u32 value) {
    return copy_to_user((void __user*)arg, &value, sizeof value) ? -EFAULT : 0;
}

static long fg_attach(void) {
    unsigned long flags;

    if (s_vif.attachIRQ) {
        FG_PRINT("IRQ already attached.");
        return -1;
    }
    if (fg_request_irq(FG_VIF_IRQ, framegate_interrupt, "framegate", &s_vif)) {
        FG_PRINT("Unable to get IRQ %d for VIF_IRQ", FG_VIF_IRQ);
        return -1;
    }
    if (fg_request_irq(FG_OSD_IRQ, osd_intr_interrupt, "osd_intr", &s_vif)) {
        FG_PRINT("Unable to get IRQ %d for OSD_IRQ", FG_OSD_IRQ);
        /* Give the VIF interrupt back, or no later attach could get it. */
        fg_free_irq(FG_VIF_IRQ, &s_vif);
        return -1;
    }
    spin_lock_irqsave(&fg_lock, flags);
    FG_REG_WR(*intEnableReg, FG_REG_RD(*intEnableReg) | FG_INT_VIF_OSD);
    s_vif.attachIRQ = 1;
    spin_unlock_irqrestore(&fg_lock, flags);
    return 0;
}

static long fg_detach(void) {
    if (!s_vif.attachIRQ) {
        FG_PRINT("IRQ already detached.\n");
        return -1;
    }
    fg_detach_irqs();
    FG_PRINT("FRAMEGATE detached.\n");
    return 0;
}

/*
 * Sleeps until the VIF interrupt has completed a buffer, then swaps it in as the capture buffer.
 * Fails with -EIO when no interrupt is attached (none could ever complete one), -EINTR when a signal
 * ends the wait with none complete.
 */
static long fg_take_full_buffer(unsigned long arg) {
    unsigned long flags;
    u32 cap = 0, tmp;
    int ret, attached, taken = 0;

    while (!taken) {
        FG_WAIT_EVENT_INTERRUPTIBLE(ret, vif_buf_wait, s_vif.fullBufValid || !s_vif.attachIRQ);
        spin_lock_irqsave(&fg_lock, flags);
        if (s_vif.fullBufValid) {
            tmp = s_vif.capBuf;
            s_vif.capBuf = s_vif.fullBuf;
            s_vif.fullBuf = tmp;
            cap = s_vif.capBuf;
            s_vif.fullBufValid = 0;
            taken = 1;
        }
        attached = s_vif.attachIRQ;
        spin_unlock_irqrestore(&fg_lock, flags);
        if (taken) break;
        if (ret) return -EINTR; /* a signal, and still no buffer */
        if (!attached) return -EIO;
    }
    return fg_put_u32(arg, cap);
}

/* Sleeps until the OSD path has a completed buffer; hands out the shown buffer and holds it. */
static long fg_take_osd_buffer(unsigned long arg) {
    unsigned long flags;
    u32 shown = 0;
    int ret, attached, taken = 0;

    while (!taken) {
        FG_WAIT_EVENT_INTERRUPTIBLE(ret, vif_buf_wait, s_vif.fullBufValidOsd || !s_vif.attachIRQ);
        spin_lock_irqsave(&fg_lock, flags);
        if (s_vif.fullBufValidOsd) {
            shown = s_vif.osdRdBuf;
            s_vif.fullBufValidOsdBlock = 1;
            taken = 1;
        }
        attached = s_vif.attachIRQ;
        spin_unlock_irqrestore(&fg_lock, flags);
        if (taken) break;
        if (ret) return -EINTR; /* a signal, and still no buffer */
        if (!attached) return -EIO;
    }
    return fg_put_u32(arg, shown);
}

/* Stores a value from user memory into a buffer-address field under fg_lock. */
static long fg_set_address(unsigned long arg, u32* field, u32* out) {
    unsigned long flags;
    u32 addr;

    if (fg_get_u32(arg, &addr)) return -EFAULT;
    spin_lock_irqsave(&fg_lock, flags);
    *field = addr;
    spin_unlock_irqrestore(&fg_lock, flags);
    *out = addr;
    return 0;
}

long framegate_ioctl(struct file* file, unsigned int cmd, unsigned long arg) {
    unsigned long flags;
    long ret = 0;
    u32 value;

    (void)file;
    if (((cmd >> 8) & 0xFFu) != FG_IOC_TYPE || (cmd & 0xFFu) > FG_IOC_MAXNR) return -EINVAL;

    switch (cmd) {
        case FG_IOC_ATTACH:
            mutex_lock(&fg_ctl_mutex);
            ret = fg_attach();
            mutex_unlock(&fg_ctl_mutex);
            break;
        case FG_IOC_DETACH:
            mutex_lock(&fg_ctl_mutex);
            ret = fg_detach();
            mutex_unlock(&fg_ctl_mutex);
            break;
        case FG_IOC_GET_COUNTER:
            spin_lock_irqsave(&fg_lock, flags);
            value = s_vif.interruptCounter;
            spin_unlock_irqrestore(&fg_lock, flags);
            ret = fg_put_u32(arg, value);
            break;
        case FG_IOC_GET_CAPTURE:
            ret = fg_take_full_buffer(arg);
            break;
        case FG_IOC_SET_FULL:
            ret = fg_set_address(arg, &s_vif.fullBuf, &value);
            if (!ret) FG_PRINT("Full Buffer Addr:    0x%08X\n", value);
            break;
        case FG_IOC_SET_CAPTURE:
            ret = fg_set_address(arg, &s_vif.capBuf, &value);
            if (!ret) FG_PRINT("Capture Buffer Addr: 0x%08X\n", value);
            break;
        case FG_IOC_SET_PREV:
            ret = fg_set_address(arg, &s_vif.prevBuf, &value);
            if (!ret) FG_PRINT("Prev Buffer Addr:    0x%08X\n", value);
            break;
        case FG_IOC_SET_RATE:
            if (!setFrmRateParam((int)arg)) FG_PRINT(": frame rate value error.\n");
            break;
        case FG_IOC_SET_MSQID:
            s_vif.msqid = (s32)arg;
            break;
        case FG_IOC_SET_MSGTYPE:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.msgType = (s32)arg;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_MSGFLAG:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.msgFlag = (u8)arg;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_CLEAR_FULL:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.fullBufValid = 0;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_INTERLACE:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.interlaceFlag = (u8)arg;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_PATH_CCDC:
            FG_PRINT("Video path is set to CCD controller %d", (int)cmd);
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.videoPath = 0;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_PATH_PREVIEW:
            FG_PRINT("Video path is set to PREVIEW ENGINE %d", (int)cmd);
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.videoPath = 1;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_MSGSRC:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.msgSrc = (u16)arg;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_MSGDST:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.msgDst = (u16)arg;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_MSGMSG:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.msgMsg = (u16)arg;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_OSD_WRITE:
            if (fg_get_u32(arg, &value)) return -EFAULT;
            FG_PRINT("OSD Buffer1 Addr: 0x%08X\n", value);
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.osdWrBuf = value;
            fg_program_ccdc(value);
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_OSD_READ:
            if (fg_get_u32(arg, &value)) return -EFAULT;
            FG_PRINT("OSD Buffer2 Addr: 0x%08X\n", value);
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.osdRdBuf = value;
            fg_program_osd_window(value);
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        case FG_IOC_SET_OSD_DONE:
            ret = fg_set_address(arg, &s_vif.osdCmpBuf, &value);
            if (!ret) FG_PRINT("OSD Buffer3 Addr: 0x%08X\n", value);
            break;
        case FG_IOC_GET_OSD_READ:
            ret = fg_take_osd_buffer(arg);
            break;
        case FG_IOC_RELEASE_OSD:
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.fullBufValidOsdBlock = 0;
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        default:
            FG_PRINT("Undefined ioctl number %d", (int)cmd);
            break;
    }
    return ret;
}
