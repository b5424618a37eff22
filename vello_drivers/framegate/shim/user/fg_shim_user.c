/* The user-space shim: framegate's kernel services modelled on one process (see fg_shim_user.h). */
#include "fg_shim_user.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "fg_shim_test.h"

#define FGSHIM_MAX_IRQ 16
#define FGSHIM_LOG_CAP (64 * 1024)

int fgshim_use_count;

/* ---- the cpu lock and sleeping ---- */

/* "Interrupts off". Error-checking: a nested lock aborts. */
static pthread_mutex_t cpu_lock = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;
/* Every wait queue; sleepers re-test their condition when woken. Guarded by cpu_lock. */
static pthread_cond_t wait_cond = PTHREAD_COND_INITIALIZER;
static int sleepers;       /* guarded by cpu_lock */
static int signal_pending; /* guarded by cpu_lock */

void fgshim_cpu_lock(void) {
    if (pthread_mutex_lock(&cpu_lock) != 0) {
        fprintf(stderr, "fgshim: interrupts disabled twice on one thread\n");
        abort();
    }
}

void fgshim_cpu_unlock(void) {
    if (pthread_mutex_unlock(&cpu_lock) != 0) {
        fprintf(stderr, "fgshim: interrupts enabled without being disabled\n");
        abort();
    }
}

int fgshim_sleep(wait_queue_head_t* wq) {
    (void)wq;
    if (signal_pending) {
        signal_pending = 0;
        return 1;
    }
    ++sleepers;
    pthread_cond_wait(&wait_cond, &cpu_lock);
    --sleepers;
    if (signal_pending) {
        signal_pending = 0;
        return 1;
    }
    return 0;
}

/* Waking without the cpu lock is safe: the sleeper's condition changes only under it. */
void wake_up_interruptible(wait_queue_head_t* wq) {
    (void)wq;
    pthread_cond_broadcast(&wait_cond);
}

int fgshim_sleepers(void) {
    fgshim_cpu_lock();
    int n = sleepers;
    fgshim_cpu_unlock();
    return n;
}

void fgshim_send_signal(void) {
    fgshim_cpu_lock();
    signal_pending = 1;
    fgshim_cpu_unlock();
    pthread_cond_broadcast(&wait_cond);
}

/* ---- mutexes ---- */

static pthread_mutex_t mutex_init_lock = PTHREAD_MUTEX_INITIALIZER;

void mutex_lock(struct mutex* m) {
    pthread_mutex_lock(&mutex_init_lock);
    if (!m->impl) {
        pthread_mutex_t* impl = malloc(sizeof *impl);
        if (!impl) abort();
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
        pthread_mutex_init(impl, &attr);
        pthread_mutexattr_destroy(&attr);
        m->impl = impl;
    }
    pthread_mutex_unlock(&mutex_init_lock);
    if (pthread_mutex_lock(m->impl) != 0) abort();
}

void mutex_unlock(struct mutex* m) {
    if (pthread_mutex_unlock(m->impl) != 0) abort();
}

/* ---- kernel log ---- */

static pthread_mutex_t log_lock = PTHREAD_MUTEX_INITIALIZER;
static char log_text[FGSHIM_LOG_CAP];
static size_t log_len;

void fgshim_print(const char* fmt, ...) {
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    size_t len = (size_t)n < sizeof line ? (size_t)n : sizeof line - 1;
    if (getenv("FGSHIM_ECHO")) fprintf(stderr, "%.*s", (int)len, line);
    pthread_mutex_lock(&log_lock);
    if (log_len + len < sizeof log_text) {
        memcpy(log_text + log_len, line, len);
        log_len += len;
        log_text[log_len] = '\0';
    }
    pthread_mutex_unlock(&log_lock);
}

size_t fgshim_log(char* buf, size_t cap) {
    if (cap == 0) return 0;
    pthread_mutex_lock(&log_lock);
    size_t n = log_len < cap - 1 ? log_len : cap - 1;
    memcpy(buf, log_text, n);
    buf[n] = '\0';
    pthread_mutex_unlock(&log_lock);
    return n;
}

void fgshim_log_clear(void) {
    pthread_mutex_lock(&log_lock);
    log_len = 0;
    log_text[0] = '\0';
    pthread_mutex_unlock(&log_lock);
}

/* ---- registers ---- */

static _Alignas(16) u16 reg_window[FGSHIM_REG_WORDS];

volatile void* fg_regs_map(void) {
    memset(reg_window, 0, sizeof reg_window);
    return reg_window;
}

void fg_regs_unmap(volatile void* regs) {
    (void)regs;
}

/* ---- character devices ---- */

static const struct file_operations* chrdev_fops;
static int chrdev_fail;

int register_chrdev(unsigned int major, const char* name, const struct file_operations* fops) {
    (void)name;
    if (chrdev_fail || major != 80 || chrdev_fops) return -EBUSY;
    chrdev_fops = fops;
    return 0;
}

void unregister_chrdev(unsigned int major, const char* name) {
    (void)major;
    (void)name;
    chrdev_fops = NULL;
}

int fgshim_chrdev_registered(void) {
    return chrdev_fops != NULL;
}
int fgshim_module_use_count(void) {
    return fgshim_use_count;
}
void fgshim_fail_chrdev(int fail) {
    chrdev_fail = fail;
}

static struct inode the_inode;

int fgshim_open(unsigned int flags, struct file** out) {
    *out = NULL;
    if (!chrdev_fops) return -ENODEV;
    struct file* f = calloc(1, sizeof *f);
    if (!f) return -ENOMEM;
    f->f_flags = flags;
    f->f_pos = 123; /* open must reset it */
    int ret = chrdev_fops->open(&the_inode, f);
    if (ret) {
        free(f);
        return ret;
    }
    *out = f;
    return 0;
}

int fgshim_release(struct file* file) {
    int ret = chrdev_fops->release(&the_inode, file);
    free(file);
    return ret;
}

void fgshim_discard(struct file* file) {
    free(file);
}

long fgshim_read(struct file* file, void* buf, size_t size) {
    return chrdev_fops->read(file, buf, size, &file->f_pos);
}

long fgshim_ioctl(struct file* file, unsigned int cmd, unsigned long arg) {
    return chrdev_fops->unlocked_ioctl(file, cmd, arg);
}

int fgshim_fasync(struct file* file, int on) {
    return chrdev_fops->fasync(-1, file, on);
}

unsigned int fgshim_sigio_count(const struct file* file) {
    return file->fgshim_sigio;
}

/* ---- user copies ---- */

unsigned long copy_to_user(void* to, const void* from, unsigned long n) {
    if (!to) return n;
    memcpy(to, from, n);
    return 0;
}

unsigned long copy_from_user(void* to, const void* from, unsigned long n) {
    if (!from) return n;
    memcpy(to, from, n);
    return 0;
}

/* ---- interrupts ---- */

struct irq_slot {
    irq_handler_t handler;
    void* dev;
    int fail;
};
/* Held while a handler runs and while a slot changes, so a freed handler is never running. */
static pthread_mutex_t irq_lock = PTHREAD_MUTEX_INITIALIZER;
static struct irq_slot irqs[FGSHIM_MAX_IRQ];
static int bad_irq_frees;

int fg_request_irq(unsigned int irq, irq_handler_t handler, const char* name, void* dev) {
    (void)name;
    if (irq >= FGSHIM_MAX_IRQ) return -EINVAL;
    pthread_mutex_lock(&irq_lock);
    int ret = 0;
    if (irqs[irq].fail || irqs[irq].handler) {
        ret = -EBUSY;
    } else {
        irqs[irq].handler = handler;
        irqs[irq].dev = dev;
    }
    pthread_mutex_unlock(&irq_lock);
    return ret;
}

void fg_free_irq(unsigned int irq, void* dev) {
    pthread_mutex_lock(&irq_lock);
    if (irq >= FGSHIM_MAX_IRQ || !irqs[irq].handler || irqs[irq].dev != dev) {
        ++bad_irq_frees;
    } else {
        irqs[irq].handler = NULL;
        irqs[irq].dev = NULL;
    }
    pthread_mutex_unlock(&irq_lock);
}

int fgshim_raise_irq(unsigned int irq) {
    if (irq >= FGSHIM_MAX_IRQ) return 0;
    pthread_mutex_lock(&irq_lock);
    int ran = 0;
    if (irqs[irq].handler) {
        irqs[irq].handler((int)irq, irqs[irq].dev);
        ran = 1;
    }
    pthread_mutex_unlock(&irq_lock);
    return ran;
}

int fgshim_irq_requested(unsigned int irq) {
    if (irq >= FGSHIM_MAX_IRQ) return 0;
    pthread_mutex_lock(&irq_lock);
    int requested = irqs[irq].handler != NULL;
    pthread_mutex_unlock(&irq_lock);
    return requested;
}

int fgshim_bad_irq_frees(void) {
    return bad_irq_frees;
}

void fgshim_fail_irq(unsigned int irq, int fail) {
    if (irq < FGSHIM_MAX_IRQ) irqs[irq].fail = fail;
}

/* ---- deferred work ---- */

static pthread_mutex_t work_lock = PTHREAD_MUTEX_INITIALIZER;
static struct work_struct* work_head; /* FIFO, guarded by work_lock */

int schedule_work(struct work_struct* work) {
    pthread_mutex_lock(&work_lock);
    int queued = 0;
    if (!work->pending) {
        work->pending = 1;
        work->next = NULL;
        struct work_struct** tail = &work_head;
        while (*tail) tail = &(*tail)->next;
        *tail = work;
        queued = 1;
    }
    pthread_mutex_unlock(&work_lock);
    return queued;
}

/* Takes `work` (or, when NULL, the first item) off the queue. */
static struct work_struct* dequeue_work(struct work_struct* work) {
    pthread_mutex_lock(&work_lock);
    struct work_struct** link = &work_head;
    while (*link && work && *link != work) link = &(*link)->next;
    struct work_struct* found = *link;
    if (found) {
        *link = found->next;
        found->next = NULL;
        found->pending = 0; /* cleared before it runs, as a kernel does */
    }
    pthread_mutex_unlock(&work_lock);
    return found;
}

int fgshim_run_work(void) {
    int ran = 0;
    struct work_struct* w;
    while ((w = dequeue_work(NULL)) != NULL) {
        w->func(w);
        ++ran;
    }
    return ran;
}

int flush_work(struct work_struct* work) {
    struct work_struct* w = dequeue_work(work);
    if (!w) return 0;
    w->func(w);
    return 1;
}

/* ---- asynchronous notification ---- */

static pthread_mutex_t fasync_lock = PTHREAD_MUTEX_INITIALIZER;

int fasync_helper(int fd, struct file* file, int on, struct fasync_struct** list) {
    pthread_mutex_lock(&fasync_lock);
    struct fasync_struct** link = list;
    while (*link && (*link)->file != file) link = &(*link)->next;
    int ret = 0;
    if (on) {
        if (*link) {
            (*link)->fd = fd;
        } else {
            struct fasync_struct* fa = calloc(1, sizeof *fa);
            if (!fa) {
                ret = -ENOMEM;
            } else {
                fa->fd = fd;
                fa->file = file;
                *link = fa;
                ret = 1;
            }
        }
    } else if (*link) {
        struct fasync_struct* fa = *link;
        *link = fa->next;
        free(fa);
        ret = 1;
    }
    pthread_mutex_unlock(&fasync_lock);
    return ret;
}

void kill_fasync(struct fasync_struct** list, int sig, int band) {
    (void)band;
    if (sig != SIGIO) return;
    pthread_mutex_lock(&fasync_lock);
    for (struct fasync_struct* fa = *list; fa; fa = fa->next) ++fa->file->fgshim_sigio;
    pthread_mutex_unlock(&fasync_lock);
}

/* ---- load and unload ---- */

int fgshim_load(void) {
    fgshim_log_clear();
    pthread_mutex_lock(&irq_lock);
    memset(irqs, 0, sizeof irqs);
    bad_irq_frees = 0;
    pthread_mutex_unlock(&irq_lock);
    while (dequeue_work(NULL)) {
    }
    fgshim_cpu_lock();
    signal_pending = 0;
    fgshim_cpu_unlock();
    fgshim_use_count = 0;
    return fgshim_module_init();
}

void fgshim_unload(void) {
    fgshim_module_exit();
}
