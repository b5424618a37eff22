/*
 * framegate: the camera chip's video-interface driver.
 *
 * The VIF interrupt (one per captured field, or per frame for progressive input) rotates the capture
 * buffers, programs the CCD controller or the preview engine with the next addresses, decides by the
 * frame-rate table whether the frame goes to the encoder and, for a passed frame, has a 32-byte message
 * queued for read(). The OSD interrupt points the OSD's video window at the newest completed buffer.
 * One user at a time.
 */
#include "framegate_internal.h"

#define FG_DESCRIPTION "Video Interface Interrupt Driver"
#define FG_VERSION "2.0.17.pelto"
#define FG_AUTHOR "Vellana camera software group"
#define FG_MSG_POOL 8

MODULE_LICENSE("GPL");
MODULE_AUTHOR(FG_AUTHOR);
MODULE_DESCRIPTION(FG_DESCRIPTION);
MODULE_VERSION(FG_VERSION);

struct vif_driver_struct s_vif;

/* Rates in frames per second of 30 captured frames per second. */
const frmRateTable_t frameRateTable[] = {
    {1, 30, 0, 0}, {2, 15, 0, 0}, {3, 10, 0, 0}, {4, 8, 1, 0},  {5, 6, 0, 0},  {6, 5, 0, 0},  {8, 4, 1, 0},
    {10, 3, 0, 0}, {15, 2, 0, 0}, {20, 0, 0, 3}, {24, 0, 0, 5}, {25, 0, 0, 6}, {30, 1, 0, 0}, {0, 0, 0, 0},
};

CCDC FG_IOMEM* ccdcReg;
PREVIEW FG_IOMEM* previewReg;
OSD FG_IOMEM* osdReg;
u16 FG_IOMEM* intEnableReg;
u16 FG_IOMEM* intClearReg;
static void FG_IOMEM* regWindow;

DEFINE_SPINLOCK(fg_lock);
DEFINE_MUTEX(fg_ctl_mutex);
DECLARE_WAIT_QUEUE_HEAD(vif_buf_wait);

/* The message pool: every node is on exactly one of the two lists, both guarded by fg_lock. */
struct vif_msgbuf_list {
    struct vif_msgbuf msgbuf;
    struct list_head list;
};
static struct vif_msgbuf_list vif_msg_pool[FG_MSG_POOL];
static LIST_HEAD(vif_msg_ready_list);   /* free nodes */
static LIST_HEAD(vif_msg_pending_list); /* unread messages, oldest first */
static DECLARE_WAIT_QUEUE_HEAD(vif_msg_wait);

/* The message of the last passed frame, filled by the VIF interrupt under fg_lock for framegate_tq. */
static struct vif_msgbuf vifMessage;
static void framegate_tq(struct work_struct* work);
static DECLARE_WORK(vif_task, framegate_tq);

static void FG_IOMEM* fg_reg_at(u32 addr) {
    return (u8 FG_IOMEM*)regWindow + (addr - FG_REG_WINDOW);
}

/* An address pair takes bits 31..21 in its upper register and the address in 32-byte units below. */
void fg_program_ccdc(u32 addr) {
    FG_REG_WR(ccdcReg->cadu, addr >> 21);
    FG_REG_WR(ccdcReg->cadl, addr >> 5);
}

void fg_program_preview(u32 read_addr, u32 write_addr) {
    FG_REG_WR(previewReg->raddu, read_addr >> 21);
    FG_REG_WR(previewReg->raddl, read_addr >> 5);
    FG_REG_WR(previewReg->wadu, write_addr >> 21);
    FG_REG_WR(previewReg->wadl, write_addr >> 5);
}

/* Video window 0 owns the low byte of vidwin_ad0; the high byte belongs to window 1. */
void fg_program_osd_window(u32 addr) {
    u16 ad0 = FG_REG_RD(osdReg->vidwin_ad0);
    FG_REG_WR(osdReg->vidwin_ad0, (ad0 & 0xFF00u) | ((addr >> 21) & 0xFFu));
    FG_REG_WR(osdReg->vidwin0_ad1, addr >> 5);
}

int setFrmRateParam(int frameRate) {
    const frmRateTable_t* row;
    unsigned long flags;

    for (row = frameRateTable; row->value != 0; ++row) {
        if (row->value == frameRate) {
            spin_lock_irqsave(&fg_lock, flags);
            s_vif.frameSkip = row->frameSkip;
            s_vif.isCheckUpto60 = row->isCheckUpto60;
            s_vif.invframeSkip = row->invframeSkip;
            spin_unlock_irqrestore(&fg_lock, flags);
            return 1;
        }
    }
    return 0;
}

/*
 * Does this processed frame go to the application? frameCount counts processed frames, so the table
 * means the same for interlaced and progressive input. The counter stays bounded: the table's
 * "up to 60" rates only ever test it modulo frameSkip, so it is kept reduced modulo frameSkip. Before
 * the application chooses a rate frameSkip is 0 and only the count of 60 passes a frame.
 */
static int fg_frame_passes(void) {
    if (s_vif.invframeSkip != 0) {
        if (s_vif.frameCount % s_vif.invframeSkip != 0) return 1;
        s_vif.frameCount = 0;
        return 0;
    }
    if (s_vif.isCheckUpto60 != 0) {
        int passed;
        if (s_vif.frameSkip == 0) return 0;
        passed = s_vif.frameCount % s_vif.frameSkip == 0;
        s_vif.frameCount %= s_vif.frameSkip;
        return passed;
    }
    if (s_vif.frameCount == 60) {
        s_vif.frameCount = 0;
        return 1;
    }
    return s_vif.frameSkip != 0 && s_vif.frameCount % s_vif.frameSkip == 0;
}

irqreturn_t framegate_interrupt(int irq, void* dev_id) {
    unsigned long flags;
    int processed, queue_message = 0, became_full = 0;
    u32 tmp;

    (void)irq;
    (void)dev_id;
    spin_lock_irqsave(&fg_lock, flags);
    s_vif.interruptCounter++;
    if (s_vif.delayToApp > 0) s_vif.delayToApp--;

    processed = s_vif.fieldFlag || !s_vif.interlaceFlag;
    if (s_vif.videoPath == 1 || s_vif.interlaceFlag)
        FG_REG_WR(ccdcReg->syncen, 3);
    else
        FG_REG_WR(ccdcReg->syncen, s_vif.fieldFlag * 2 + 1);

    if (processed) {
        s_vif.frameCount++;

        /* The OSD path: the frame just written is complete; the CCDC writes the other buffer. */
        tmp = s_vif.osdWrBuf;
        s_vif.osdWrBuf = s_vif.osdCmpBuf;
        s_vif.osdCmpBuf = tmp;
        fg_program_ccdc(s_vif.osdWrBuf);
        s_vif.fullBufValidOsd = 1;

        if (fg_frame_passes()) {
            tmp = s_vif.fullBuf;
            s_vif.fullBuf = s_vif.prevBuf;
            s_vif.prevBuf = tmp;
            if (s_vif.videoPath == 0)
                fg_program_ccdc(s_vif.prevBuf);
            else if (s_vif.videoPath == 1)
                fg_program_preview(s_vif.osdCmpBuf, s_vif.prevBuf);

            if (!s_vif.fullBufValid) {
                became_full = 1;
                if (s_vif.msgFlag) {
                    memset(&vifMessage, 0, sizeof vifMessage);
                    vifMessage.mtype = s_vif.msgType;
                    vifMessage.src = s_vif.msgSrc;
                    vifMessage.dst = s_vif.msgDst;
                    vifMessage.msg = s_vif.msgMsg;
                    queue_message = 1;
                }
            }
            s_vif.fullBufValid = 1;
            if (!s_vif.isCheckUpto60 && !s_vif.invframeSkip) s_vif.frameCount = 0;
            s_vif.delayToApp = 2;
        }
    }
    s_vif.fieldFlag = !s_vif.fieldFlag;
    spin_unlock_irqrestore(&fg_lock, flags);

    if (queue_message) schedule_work(&vif_task);
    if (processed) wake_up_interruptible(&vif_buf_wait);
    if (became_full) kill_fasync(&s_vif.fasync, SIGIO, POLL_IN);
    return IRQ_HANDLED;
}

irqreturn_t osd_intr_interrupt(int irq, void* dev_id) {
    unsigned long flags;
    u32 tmp;

    (void)irq;
    (void)dev_id;
    spin_lock_irqsave(&fg_lock, flags);
    s_vif.osdCounter++;
    if (s_vif.fullBufValidOsdBlock) {
        /* The application holds osdRdBuf: show the buffer being written instead. */
        fg_program_osd_window(s_vif.osdWrBuf);
    } else if (s_vif.fullBufValidOsd) {
        tmp = s_vif.osdRdBuf;
        s_vif.osdRdBuf = s_vif.osdCmpBuf;
        s_vif.osdCmpBuf = tmp;
        fg_program_osd_window(s_vif.osdRdBuf);
        s_vif.fullBufValidOsd = 0;
    }
    spin_unlock_irqrestore(&fg_lock, flags);
    return IRQ_HANDLED;
}

/*
 * Queues vifMessage for read(). With all eight nodes unread, the oldest unread message is overwritten:
 * the encoder wants the newest frames, and the interrupt side never waits for it.
 */
static void framegate_tq(struct work_struct* work) {
    struct vif_msgbuf_list* node;
    unsigned long flags;
    int overwritten = 0;

    (void)work;
    spin_lock_irqsave(&fg_lock, flags);
    if (!list_empty(&vif_msg_ready_list)) {
        node = list_first_entry(&vif_msg_ready_list, struct vif_msgbuf_list, list);
    } else {
        node = list_first_entry(&vif_msg_pending_list, struct vif_msgbuf_list, list);
        overwritten = 1;
    }
    list_del(&node->list);
    node->msgbuf = vifMessage;
    list_add_tail(&node->list, &vif_msg_pending_list);
    spin_unlock_irqrestore(&fg_lock, flags);

    if (overwritten) FG_PRINT_RATELIMITED("vif_msg_ready_list not empty\n");
    wake_up_interruptible(&vif_msg_wait);
}

void fg_detach_irqs(void) {
    unsigned long flags;

    spin_lock_irqsave(&fg_lock, flags);
    FG_REG_WR(*intEnableReg, FG_REG_RD(*intEnableReg) & ~FG_INT_VIF_OSD);
    spin_unlock_irqrestore(&fg_lock, flags);
    fg_free_irq(FG_VIF_IRQ, &s_vif);
    fg_free_irq(FG_OSD_IRQ, &s_vif);
    spin_lock_irqsave(&fg_lock, flags);
    s_vif.attachIRQ = 0;
    spin_unlock_irqrestore(&fg_lock, flags);
    /* Waiters for a buffer give up now that no interrupt can set one. */
    wake_up_interruptible(&vif_buf_wait);
}

static int framegate_open(struct inode* inode, struct file* file) {
    unsigned long flags;

    (void)inode;
    file->f_pos = 0;
    mutex_lock(&fg_ctl_mutex);
    if (s_vif.driverRequested) {
        mutex_unlock(&fg_ctl_mutex);
        FG_PRINT("Driver already in use.\n");
        return -EACCES;
    }
    FG_MOD_INC_USE_COUNT();

    spin_lock_irqsave(&fg_lock, flags);
    s_vif.driverRequested = 1;
    s_vif.attachIRQ = 0;
    s_vif.interruptCounter = 0;
    s_vif.fullBufValid = 0;
    s_vif.fullBufValidOsd = 0;
    s_vif.fullBufValidOsdBlock = 0;
    s_vif.fieldFlag = 0;
    s_vif.capBuf = 0;
    s_vif.fullBuf = 0;
    s_vif.prevBuf = 0;
    s_vif.frameSkip = 0;
    s_vif.isCheckUpto60 = 0;
    s_vif.invframeSkip = 0;
    s_vif.msgType = 0;
    s_vif.msgFlag = 0;
    s_vif.frameCount = 1;
    s_vif.msqid = -1;
    s_vif.interlaceFlag = 1;
    s_vif.videoPath = 0;
    /* Drop a VIF/OSD request latched while nobody had the device. */
    FG_REG_WR(*intClearReg, FG_INT_VIF_OSD);
    spin_unlock_irqrestore(&fg_lock, flags);
    mutex_unlock(&fg_ctl_mutex);
    return 0;
}

static int framegate_fasync(int fd, struct file* file, int on) {
    int ret = fasync_helper(fd, file, on, &s_vif.fasync);
    return ret < 0 ? ret : 0;
}

static int framegate_release(struct inode* inode, struct file* file) {
    unsigned long flags;

    (void)inode;
    mutex_lock(&fg_ctl_mutex);
    if (s_vif.attachIRQ) {
        fg_detach_irqs();
    } else {
        spin_lock_irqsave(&fg_lock, flags);
        FG_REG_WR(*intEnableReg, FG_REG_RD(*intEnableReg) & ~FG_INT_VIF_OSD);
        spin_unlock_irqrestore(&fg_lock, flags);
    }
    /* A message of the last frame is still queued: deliver it before the device is free again. */
    flush_work(&vif_task);

    spin_lock_irqsave(&fg_lock, flags);
    s_vif.driverRequested = 0;
    s_vif.attachIRQ = 0;
    s_vif.interruptCounter = 0;
    s_vif.osdCounter = 0;
    FG_REG_WR(ccdcReg->syncen, 3);
    spin_unlock_irqrestore(&fg_lock, flags);
    mutex_unlock(&fg_ctl_mutex);

    framegate_fasync(-1, file, 0);
    FG_MOD_DEC_USE_COUNT();
    return 0;
}

/*
 * Receives one message the way a message-queue receive does: size counts the message text after the
 * 4-byte mtype, so min(size, 28) + 4 bytes are copied and min(size, 28) is returned.
 */
static ssize_t framegate_read(struct file* file, char __user* buffer, size_t size, loff_t* ppos) {
    struct vif_msgbuf_list* node;
    struct vif_msgbuf msg;
    unsigned long flags;
    size_t text = size < FG_MSG_TEXT_SIZE ? size : FG_MSG_TEXT_SIZE;
    int ret, interrupted = 0;

    (void)ppos;
    for (;;) {
        spin_lock_irqsave(&fg_lock, flags);
        if (!list_empty(&vif_msg_pending_list)) {
            node = list_first_entry(&vif_msg_pending_list, struct vif_msgbuf_list, list);
            list_del(&node->list);
            msg = node->msgbuf;
            list_add_tail(&node->list, &vif_msg_ready_list);
            spin_unlock_irqrestore(&fg_lock, flags);
            break;
        }
        spin_unlock_irqrestore(&fg_lock, flags);

        /* A signal ends the wait only when it leaves nothing to read. */
        if (interrupted) return -EINTR;
        if (file->f_flags & O_NONBLOCK) return -EAGAIN;
        FG_WAIT_EVENT_INTERRUPTIBLE(ret, vif_msg_wait, !list_empty(&vif_msg_pending_list));
        interrupted = ret != 0;
    }
    if (copy_to_user(buffer, &msg, sizeof msg.mtype + text)) return -EFAULT;
    return (ssize_t)text;
}

static const struct file_operations framegate_fops = {
    .owner = THIS_MODULE,
    .read = framegate_read,
    .unlocked_ioctl = framegate_ioctl,
    .compat_ioctl = FG_COMPAT_PTR_IOCTL,
    .open = framegate_open,
    .release = framegate_release,
    .fasync = framegate_fasync,
};

static int __init framegate_init_module(void) {
    int i;

    FG_PRINT("%s v%s, %s\n", FG_DESCRIPTION, FG_VERSION, FG_AUTHOR);

    memset(&s_vif, 0, sizeof s_vif);
    regWindow = fg_regs_map();
    if (!regWindow) {
        FG_PRINT("framegate: cannot map the registers at 0x%05X\n", FG_REG_WINDOW);
        return -ENOMEM;
    }
    ccdcReg = fg_reg_at(FG_REG_CCDC);
    previewReg = fg_reg_at(FG_REG_PREVIEW);
    osdReg = fg_reg_at(FG_REG_OSD);
    intEnableReg = fg_reg_at(FG_REG_INT_ENABLE);
    intClearReg = fg_reg_at(FG_REG_INT_CLEAR);

    INIT_LIST_HEAD(&vif_msg_ready_list);
    INIT_LIST_HEAD(&vif_msg_pending_list);
    for (i = 0; i < FG_MSG_POOL; ++i) list_add_tail(&vif_msg_pool[i].list, &vif_msg_ready_list);

    /* Registered last: once it is, the device can be opened. */
    if (register_chrdev(FRAMEGATE_MAJOR, FRAMEGATE_NAME, &framegate_fops) < 0) {
        FG_PRINT("Can't get major number %d.", FRAMEGATE_MAJOR);
        fg_regs_unmap(regWindow);
        regWindow = NULL;
        return -1;
    }
    return 0;
}

static void __exit framegate_cleanup_module(void) {
    unregister_chrdev(FRAMEGATE_MAJOR, FRAMEGATE_NAME);
    mutex_lock(&fg_ctl_mutex);
    if (s_vif.attachIRQ) fg_detach_irqs();
    mutex_unlock(&fg_ctl_mutex);
    flush_work(&vif_task);
    fg_regs_unmap(regWindow);
    regWindow = NULL;
}

module_init(framegate_init_module);
module_exit(framegate_cleanup_module);
