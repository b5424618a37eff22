/* The encoder stand-in's session (see fg_encoder.h). */
#include "fg_encoder.h"

#include <errno.h>
#include <string.h>
#include <time.h>

#include "framegate_uapi.h"

const uint32_t fg_encoder_buffers[6] = {0x01000000u, 0x01100000u, 0x01200000u,
                                        0x01300000u, 0x01400000u, 0x01500000u};

static double now_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static int expired(const struct fg_dev_ops* ops) {
    return ops->expired && ops->expired(ops->ctx);
}

/* A request that must succeed; reports and counts a failure. */
static int must(const struct fg_dev_ops* ops, int h, unsigned int request, unsigned long arg, FILE* out) {
    long r = ops->ioctl(ops->ctx, h, request, arg);
    if (r < 0) fprintf(out, "fg_encoder: request 0x%08X failed: %ld\n", request, r);
    return r < 0;
}

static int is_app_buffer(uint32_t addr) {
    return addr == fg_encoder_buffers[0] || addr == fg_encoder_buffers[1] || addr == fg_encoder_buffers[2];
}

static int message_ok(const struct vif_msgbuf* m, const struct fg_encoder_config* cfg) {
    return m->mtype == cfg->msg_type && m->src == cfg->src && m->dst == cfg->dst && m->msg == cfg->msg &&
           m->link == 0 && m->s_msg == 0 && m->retid == 0 && m->r_mtype == 0 && m->size == 0 && m->blk == 0;
}

/* The first read asks for 10 bytes of text: 14 bytes arrive, the rest of the buffer stays as it was. */
static int read_message(const struct fg_dev_ops* ops, int h, struct vif_msgbuf* m, int first, long* got) {
    unsigned char* bytes = (unsigned char*)m;
    size_t want = first ? 10 : FG_MSG_TEXT_SIZE;
    memset(m, 0xA5, sizeof *m);
    *got = ops->read(ops->ctx, h, m, want);
    if (*got < 0) return 0;
    if ((size_t)*got != want) return -1;
    if (first) {
        for (size_t i = 4 + want; i < sizeof *m; ++i)
            if (bytes[i] != 0xA5) return -1;
        memset(bytes + 4 + want, 0, sizeof *m - 4 - want);
    }
    return 1;
}

int fg_encoder_run(const struct fg_dev_ops* ops, const struct fg_encoder_config* cfg,
                   struct fg_encoder_result* result, FILE* out) {
    int failures = 0;
    memset(result, 0, sizeof *result);

    int h = ops->open(ops->ctx, cfg->device);
    if (h < 0) {
        fprintf(out, "fg_encoder: open %s: %s\n", cfg->device, strerror(-h));
        return 1;
    }
    if (cfg->check_exclusive) {
        int h2 = ops->open(ops->ctx, cfg->device);
        fprintf(out, "fg_encoder: second open: %d\n", h2 < 0 ? h2 : 0);
        if (h2 >= 0) {
            ops->close(ops->ctx, h2);
            ++failures;
        } else if (h2 != -EACCES) {
            ++failures;
        }
    }

    const uint32_t* b = fg_encoder_buffers;
    failures += must(ops, h, FG_IOC_SET_CAPTURE, (unsigned long)&b[0], out);
    failures += must(ops, h, FG_IOC_SET_FULL, (unsigned long)&b[1], out);
    failures += must(ops, h, FG_IOC_SET_PREV, (unsigned long)&b[2], out);
    failures += must(ops, h, FG_IOC_SET_OSD_WRITE, (unsigned long)&b[3], out);
    failures += must(ops, h, FG_IOC_SET_OSD_READ, (unsigned long)&b[4], out);
    failures += must(ops, h, FG_IOC_SET_OSD_DONE, (unsigned long)&b[5], out);
    failures += must(ops, h, FG_IOC_SET_RATE, (unsigned long)cfg->rate, out);
    failures += must(ops, h, FG_IOC_SET_INTERLACE, (unsigned long)(cfg->interlace != 0), out);
    failures += must(ops, h, FG_IOC_PATH_CCDC, 0, out);
    failures += must(ops, h, FG_IOC_SET_MSQID, 1, out);
    failures += must(ops, h, FG_IOC_SET_MSGTYPE, (unsigned long)(long)cfg->msg_type, out);
    failures += must(ops, h, FG_IOC_SET_MSGSRC, cfg->src, out);
    failures += must(ops, h, FG_IOC_SET_MSGDST, cfg->dst, out);
    failures += must(ops, h, FG_IOC_SET_MSGMSG, cfg->msg, out);
    failures += must(ops, h, FG_IOC_SET_MSGFLAG, 1, out);
    failures += must(ops, h, FG_IOC_ATTACH, 0, out);
    long again = ops->ioctl(ops->ctx, h, FG_IOC_ATTACH, 0);
    fprintf(out, "fg_encoder: attached, rate %d; second attach: %ld\n", cfg->rate, again);
    if (again >= 0) ++failures;

    double start = now_seconds(), last = start;
    int cut = 0; /* time ran out between a message and its buffer swap */
    while (!failures && (cfg->max_messages == 0 || result->messages < cfg->max_messages)) {
        struct vif_msgbuf m;
        long got;
        int r = read_message(ops, h, &m, result->messages == 0, &got);
        if (r == 0) {
            if (got == -EINTR && expired(ops)) break;
            if (got == -EINTR) continue;
            fprintf(out, "fg_encoder: read: %ld\n", got);
            ++failures;
            break;
        }
        if (r < 0) {
            fprintf(out, "fg_encoder: read copied the wrong bytes (returned %ld)\n", got);
            ++failures;
            break;
        }
        last = now_seconds();
        if (result->messages < 2)
            fprintf(out, "fg_encoder: message mtype %d src %u dst %u msg %u\n", (int)m.mtype, m.src, m.dst,
                    m.msg);
        ++result->messages;
        if (!message_ok(&m, cfg)) ++result->bad_messages;

        /* The message says a buffer is full: take it, which lets the next passed frame report again. */
        uint32_t cap = 0;
        long sr = ops->ioctl(ops->ctx, h, FG_IOC_GET_CAPTURE, (unsigned long)&cap);
        if (sr == -EINTR && expired(ops)) {
            cut = 1;
            break;
        }
        if (sr < 0) {
            fprintf(out, "fg_encoder: buffer swap: %ld\n", sr);
            ++failures;
            break;
        }
        if (is_app_buffer(cap)) ++result->swaps;
    }
    result->seconds = last - start;

    uint32_t counter = 0;
    failures += must(ops, h, FG_IOC_GET_COUNTER, (unsigned long)&counter, out);
    result->interrupts = counter;
    failures += must(ops, h, FG_IOC_DETACH, 0, out);
    again = ops->ioctl(ops->ctx, h, FG_IOC_DETACH, 0);
    if (again >= 0) ++failures;
    ops->close(ops->ctx, h);

    fprintf(
        out,
        "fg_encoder: rate %d: %u messages in %.2f s, %u interrupts, %u bad, %u swaps; second detach: %ld\n",
        cfg->rate, result->messages, result->seconds, (unsigned)result->interrupts, result->bad_messages,
        result->swaps, again);
    if (result->bad_messages || result->swaps + (unsigned)cut != result->messages) ++failures;
    fprintf(out, "fg_encoder: %s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
