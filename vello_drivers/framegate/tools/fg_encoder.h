/*
 * A stand-in for the camera's encoder: opens framegate, sets it up by ioctl, attaches the interrupts,
 * reads the messages of passed frames and swaps in each completed buffer, as the camera's encoder does.
 * The device is reached through fg_dev_ops, so the same code runs against the kernel module (POSIX
 * calls) and against the user-space build (the test shim).
 */
#ifndef FG_ENCODER_H
#define FG_ENCODER_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results are >= 0, or a negated errno value. */
struct fg_dev_ops {
    void* ctx;
    int (*open)(void* ctx, const char* path);
    void (*close)(void* ctx, int handle);
    long (*ioctl)(void* ctx, int handle, unsigned int request, unsigned long arg);
    long (*read)(void* ctx, int handle, void* buf, size_t size);
    /* Nonzero once the run's time is up; NULL when only max_messages ends it. */
    int (*expired)(void* ctx);
};

struct fg_encoder_config {
    const char* device;
    int rate;      /* frames per second */
    int interlace; /* input is interlaced */
    int msg_type;  /* mtype of the messages */
    uint16_t src, dst, msg;
    unsigned max_messages; /* 0: until expired() */
    int check_exclusive;   /* try a second open, which must fail with -EACCES */
};

struct fg_encoder_result {
    unsigned messages;     /* messages read */
    unsigned bad_messages; /* with fields other than those set */
    unsigned swaps;        /* completed buffers swapped in, each one of the three given */
    uint32_t interrupts;   /* VIF interrupts the driver counted */
    double seconds;        /* from attach to the last message */
};

/* Capture, full and previous buffers, then the OSD path's write, read and completed buffers. */
extern const uint32_t fg_encoder_buffers[6];

/* Runs one session; 0 when every step gave the expected result. Progress goes to out. */
int fg_encoder_run(const struct fg_dev_ops* ops, const struct fg_encoder_config* cfg,
                   struct fg_encoder_result* result, FILE* out);

#ifdef __cplusplus
}
#endif

#endif
