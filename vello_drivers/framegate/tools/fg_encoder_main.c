/*
 * fg_encoder: the encoder stand-in against the real device.
 *   fg_encoder [--load MODULE.ko [--params "sim=1"]] [--mknod] [--device /dev/framegate] [--rate N]
 *              [--seconds S] [--progressive] [--mtype T] [--src S] [--dst D] [--msg M] [--exclusive]
 *              [--unload]
 * --load loads the module (finit_module) first, --mknod makes the device node (major 80) when missing,
 * --unload removes the module at the end. Exit status 0 when the session went as expected.
 */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "fg_encoder.h"
#include "framegate_uapi.h"

static volatile sig_atomic_t time_up;

static void on_alarm(int sig) {
    (void)sig;
    time_up = 1;
}

static int dev_open(void* ctx, const char* path) {
    (void)ctx;
    int fd = open(path, O_RDWR);
    return fd < 0 ? -errno : fd;
}

static void dev_close(void* ctx, int h) {
    (void)ctx;
    close(h);
}

static long dev_ioctl(void* ctx, int h, unsigned int request, unsigned long arg) {
    (void)ctx;
    int r = ioctl(h, request, arg);
    return r < 0 ? -errno : r;
}

static long dev_read(void* ctx, int h, void* buf, size_t size) {
    (void)ctx;
    ssize_t r = read(h, buf, size);
    return r < 0 ? -errno : (long)r;
}

static int dev_expired(void* ctx) {
    (void)ctx;
    return time_up;
}

static int load_module(const char* path, const char* params) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "fg_encoder: %s: %s\n", path, strerror(errno));
        return 1;
    }
    long r = syscall(SYS_finit_module, fd, params, 0);
    int err = errno;
    close(fd);
    if (r != 0) {
        fprintf(stderr, "fg_encoder: loading %s: %s\n", path, strerror(err));
        return 1;
    }
    printf("fg_encoder: loaded %s (%s)\n", path, params);
    return 0;
}

static long number(const char* text) {
    return strtol(text, NULL, 0);
}

int main(int argc, char** argv) {
    struct fg_encoder_config cfg = {"/dev/" FRAMEGATE_NAME, 30, 1, 1, 1, 2, 3, 0, 0};
    const char* module = NULL;
    const char* params = "";
    int seconds = 3, make_node = 0, unload = 0;

    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : NULL;
        if (!strcmp(a, "--mknod")) {
            make_node = 1;
        } else if (!strcmp(a, "--unload")) {
            unload = 1;
        } else if (!strcmp(a, "--progressive")) {
            cfg.interlace = 0;
        } else if (!strcmp(a, "--exclusive")) {
            cfg.check_exclusive = 1;
        } else if (v && !strcmp(a, "--load")) {
            module = v, ++i;
        } else if (v && !strcmp(a, "--params")) {
            params = v, ++i;
        } else if (v && !strcmp(a, "--device")) {
            cfg.device = v, ++i;
        } else if (v && !strcmp(a, "--rate")) {
            cfg.rate = (int)number(v), ++i;
        } else if (v && !strcmp(a, "--seconds")) {
            seconds = (int)number(v), ++i;
        } else if (v && !strcmp(a, "--mtype")) {
            cfg.msg_type = (int)number(v), ++i;
        } else if (v && !strcmp(a, "--src")) {
            cfg.src = (uint16_t)number(v), ++i;
        } else if (v && !strcmp(a, "--dst")) {
            cfg.dst = (uint16_t)number(v), ++i;
        } else if (v && !strcmp(a, "--msg")) {
            cfg.msg = (uint16_t)number(v), ++i;
        } else {
            fprintf(stderr, "fg_encoder: unknown or incomplete option %s\n", a);
            return 2;
        }
    }
    setvbuf(stdout, NULL, _IOLBF, 0);

    if (module && load_module(module, params)) return 1;
    if (make_node && access(cfg.device, F_OK) != 0 &&
        mknod(cfg.device, S_IFCHR | 0600, makedev(FRAMEGATE_MAJOR, 0)) != 0) {
        fprintf(stderr, "fg_encoder: mknod %s: %s\n", cfg.device, strerror(errno));
        return 1;
    }

    /* SIGALRM without SA_RESTART: a read blocked at the deadline returns EINTR. */
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_alarm;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, NULL);
    alarm((unsigned)seconds);

    struct fg_dev_ops ops = {NULL, dev_open, dev_close, dev_ioctl, dev_read, dev_expired};
    struct fg_encoder_result result;
    int rc = fg_encoder_run(&ops, &cfg, &result, stdout);

    if (unload) {
        if (syscall(SYS_delete_module, FRAMEGATE_NAME, O_NONBLOCK) != 0) {
            fprintf(stderr, "fg_encoder: unloading: %s\n", strerror(errno));
            rc = 1;
        } else {
            printf("fg_encoder: unloaded\n");
        }
    }
    return rc;
}
