/*
 * framegate's device interface, shared by the driver and the camera's encoder: the request numbers
 * (type character 'k'), the 32-byte message that read() returns, and the device's major number.
 */
#ifndef FRAMEGATE_UAPI_H
#define FRAMEGATE_UAPI_H

#ifdef __KERNEL__
#include <linux/types.h>
typedef __s32 fg_s32;
typedef __u32 fg_u32;
typedef __u16 fg_u16;
#else
#include <stdint.h>
typedef int32_t fg_s32;
typedef uint32_t fg_u32;
typedef uint16_t fg_u16;
#endif

#define FRAMEGATE_MAJOR 80
#define FRAMEGATE_NAME "framegate"

/* The request type character and the highest request number the driver knows. */
#define FG_IOC_TYPE 'k'
#define FG_IOC_MAXNR 22

/*
 * "value" requests take the ioctl argument itself; "from user" requests read a 32-bit value at the
 * address given; "to user" requests store a 32-bit value there.
 */
#define FG_IOC_ATTACH 0x6B00u            /* attach the VIF and OSD interrupts */
#define FG_IOC_DETACH 0x6B01u            /* detach them */
#define FG_IOC_GET_COUNTER 0x40046B02u   /* to user: VIF interrupts since open */
#define FG_IOC_GET_CAPTURE 0x40046B03u   /* wait for a full buffer, swap it in, to user: capture buffer */
#define FG_IOC_SET_FULL 0x80046B04u      /* from user: full-buffer address */
#define FG_IOC_SET_CAPTURE 0x80046B05u   /* from user: capture-buffer address */
#define FG_IOC_SET_PREV 0x80046B06u      /* from user: buffer being filled */
#define FG_IOC_SET_RATE 0x80046B07u      /* value: frames per second, one of the table's rates */
#define FG_IOC_SET_MSQID 0x6B08u         /* value: message-queue identifier */
#define FG_IOC_SET_MSGTYPE 0x6B09u       /* value: mtype of queued messages */
#define FG_IOC_SET_MSGFLAG 0x6B0Au       /* value: nonzero enables messages */
#define FG_IOC_CLEAR_FULL 0x6B0Bu        /* forget the full buffer */
#define FG_IOC_SET_INTERLACE 0x6B0Cu     /* value: nonzero for interlaced input */
#define FG_IOC_PATH_CCDC 0x6B0Du         /* video path through the CCD controller */
#define FG_IOC_PATH_PREVIEW 0x6B0Eu      /* video path through the preview engine */
#define FG_IOC_SET_MSGSRC 0x6B0Fu        /* value: src of queued messages */
#define FG_IOC_SET_MSGDST 0x6B10u        /* value: dst of queued messages */
#define FG_IOC_SET_MSGMSG 0x6B11u        /* value: msg of queued messages */
#define FG_IOC_SET_OSD_WRITE 0x80046B12u /* from user: buffer the CCDC writes for the OSD path */
#define FG_IOC_SET_OSD_READ 0x80046B13u  /* from user: buffer the OSD shows */
#define FG_IOC_SET_OSD_DONE 0x80046B14u  /* from user: last completed OSD-path buffer */
#define FG_IOC_GET_OSD_READ 0x80046B15u  /* wait for a completed OSD buffer, to user: shown buffer */
#define FG_IOC_RELEASE_OSD 0x80046B16u   /* the application is done with the OSD read buffer */

/*
 * One message, 32 bytes. read() copies mtype and then as much of the rest as asked for, like a
 * message-queue receive. blk is a 32-bit field (always 0): the message crosses from a 64-bit kernel to
 * a 32-bit encoder unchanged.
 */
struct vif_msgbuf {
    fg_s32 mtype;
    fg_u32 link;
    fg_u16 src;
    fg_u16 dst;
    fg_u16 msg;
    fg_u16 s_msg;
    fg_s32 retid;
    fg_s32 r_mtype;
    fg_u32 size;
    fg_u32 blk;
};

/* Bytes after mtype that one read can return. */
#define FG_MSG_TEXT_SIZE 28

#ifndef __cplusplus
_Static_assert(sizeof(struct vif_msgbuf) == 32, "the message is 32 bytes on every target");
#endif

#endif
