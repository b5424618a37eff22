/*
 * framegate: the camera chip's video-interface driver. Register layouts, the driver state and the
 * frame-rate table, shared by the driver's two source files and visible to the user-space tests.
 */
#ifndef FRAMEGATE_H
#define FRAMEGATE_H

#include "fg_types.h"
#include "framegate_uapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Physical addresses of the chip's registers. */
#define FG_REG_INT_CLEAR 0x30508u  /* interrupt-request clear; bit 4 drops a latched VIF/OSD request */
#define FG_REG_INT_ENABLE 0x30528u /* interrupt enable; bit 4 enables the VIF and OSD interrupts */
#define FG_REG_OSD 0x30680u
#define FG_REG_CCDC 0x30700u
#define FG_REG_PREVIEW 0x30780u
#define FG_INT_VIF_OSD 0x10u

/* The driver maps one window that covers all of the above. */
#define FG_REG_WINDOW 0x30500u
#define FG_REG_WINDOW_SIZE 0x300u

#define FG_VIF_IRQ 4
#define FG_OSD_IRQ 7

/* CCD controller, 16-bit registers. */
typedef struct {
    u16 syncen, modeset, hdw, vdw, ppln, lpfr, sph, lph, slv0, slv1, lnv, culh, culv, hsize, sdofst;
    u16 cadu, cadl; /* capture address: bits 31..21 and 31..5 */
    u16 cclamp, dcdsub, ccolp, cofst0, cofst1, cmfil, cgain, cofsta, outh, outclip, vdint1, vdint2;
    u16 shutctl, cgammawd, rec656if, ccdcfg;
    u16 reserved;
} CCDC;

/* Preview engine, 16-bit registers. */
typedef struct {
    u16 pven, pvset1;
    u16 raddu, raddl; /* read address */
    u16 wadu, wadl;   /* write address */
    u16 hsrt, hsize, vsrt, vsize, pvset2, n_fil, dgain;
    u16 wb_gain0, wb_gain1, wb_gain2, wb_gain3, wb_gain4, wb_gain5, wb_bp01, wb_bp12;
    u16 reserved;
} PREVIEW;

/* On-screen display, 16-bit registers. */
typedef struct {
    u16 osdmode, vidwin_mode, osdwin0_mode, osdwin1_mode, rectcur, bmpcur;
    u16 vidwin0_offset, vidwin1_offset, osdwin0_offset, osdwin1_offset;
    u16 vidwin_ad0; /* low byte: video window 0 address bits 28..21; high byte: window 1 */
    u16 vidwin0_ad1, vidwin1_ad1, osdwin_ad0, osdwin0_ad1, osdwin1_ad1;
    u16 basep_x, basep_y;
    u16 vidwin0_xp, vidwin0_yp, vidwin0_xl, vidwin0_yl, vidwin1_xp, vidwin1_yp, vidwin1_xl, vidwin1_yl;
    u16 osdwin0_xp, osdwin0_yp;
    u16 window[36]; /* further window registers the driver leaves alone */
} OSD;

#ifndef __cplusplus
_Static_assert(sizeof(CCDC) == 68, "CCDC block layout");
_Static_assert(sizeof(PREVIEW) == 44, "preview block layout");
_Static_assert(sizeof(OSD) == 128, "OSD block layout");
#endif

struct fasync_struct;
struct file;
struct inode;

/*
 * The driver's state. Fields the interrupt handlers touch are guarded by fg_lock (interrupts off);
 * driverRequested and attachIRQ change only under fg_ctl_mutex and fg_lock together.
 */
struct vif_driver_struct {
    u32 interruptCounter; /* VIF interrupts since open */
    u8 attachIRQ;         /* interrupts requested */
    u8 driverRequested;   /* device is open */
    struct fasync_struct* fasync;
    u32 capBuf;    /* buffer handed to the application */
    u32 fullBuf;   /* last completed frame for the application */
    u32 prevBuf;   /* buffer being filled for the application */
    u32 osdWrBuf;  /* buffer the CCDC writes for the OSD path */
    u32 osdRdBuf;  /* buffer the OSD shows */
    u32 osdCmpBuf; /* last completed OSD-path buffer */
    s32 frameSkip;
    s32 isCheckUpto60;
    s32 invframeSkip;
    s32 frameCount; /* processed frames, for the rate decision */
    s32 delayToApp; /* counts interrupts down to 0; 2 after a passed frame */
    s32 msqid;
    s32 msgType;
    u16 msgSrc, msgDst, msgMsg;
    u8 msgFlag;
    u8 fullBufValid;         /* a full buffer waits for the application */
    u8 fullBufValidOsd;      /* a completed OSD-path buffer waits for the OSD */
    u8 fullBufValidOsdBlock; /* the application holds the OSD read buffer */
    u8 fieldFlag;            /* field parity, toggled per interrupt */
    u8 interlaceFlag;
    s32 videoPath;  /* 0 = CCD controller, 1 = preview engine */
    s32 osdCounter; /* OSD interrupts since open */
};

typedef struct {
    s32 value; /* frames per second; 0 ends the table */
    s32 frameSkip;
    s32 isCheckUpto60;
    s32 invframeSkip;
} frmRateTable_t;

extern struct vif_driver_struct s_vif;
extern const frmRateTable_t frameRateTable[];

/* The mapped register blocks. */
extern CCDC FG_IOMEM* ccdcReg;
extern PREVIEW FG_IOMEM* previewReg;
extern OSD FG_IOMEM* osdReg;
extern u16 FG_IOMEM* intEnableReg;
extern u16 FG_IOMEM* intClearReg;

/* Copies the rate's row into s_vif; 0 when the rate is not in the table. */
int setFrmRateParam(int frameRate);

#ifdef __cplusplus
}
#endif

#endif
