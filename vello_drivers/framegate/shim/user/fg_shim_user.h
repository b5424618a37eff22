/*
 * framegate's services in user space, for the tests. The model is the camera's single processor:
 *  - "interrupts off" (every spinlock) is one process-wide mutex, the cpu lock. It is an error-checking
 *    mutex, so taking it twice aborts the test instead of hiding a nested lock that would deadlock a
 *    kernel;
 *  - an interrupt is raised by the test (fgshim_raise_irq) on its own thread; the handler takes the cpu
 *    lock itself, so it waits while process context has interrupts off;
 *  - deferred work runs when the test calls fgshim_run_work;
 *  - a sleeper waits on one condition variable shared by all wait queues, under the cpu lock, so the
 *    condition must only read state that is changed under a spinlock; a test "signal" ends one sleep.
 * The test-facing controls are in fg_shim_test.h.
 */
#ifndef FG_SHIM_USER_H
#define FG_SHIM_USER_H

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stddef.h>
#include <string.h>
#include <sys/types.h>

#include "../fg_types.h"

#ifndef POLL_IN
#define POLL_IN 1
#endif
#define ERESTARTSYS 512

#define __user
#define __init
#define __exit

/* ---- kernel log ---- */
void fgshim_print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#define FG_PRINT(...) fgshim_print(__VA_ARGS__)
#define FG_PRINT_RATELIMITED(...) fgshim_print(__VA_ARGS__)

/* ---- registers ---- */
#define FG_REG_RD(reg) (reg)
#define FG_REG_WR(reg, v) ((reg) = (u16)(v))
#define FGSHIM_REG_WORDS (0x300 / 2) /* the register window, FG_REG_WINDOW_SIZE bytes */
volatile void* fg_regs_map(void);
void fg_regs_unmap(volatile void* regs);

/* ---- modules and character devices ---- */
struct module;
#define THIS_MODULE ((struct module*)0)
#define MODULE_LICENSE(x) extern int fgshim_module_info
#define MODULE_AUTHOR(x) extern int fgshim_module_info
#define MODULE_DESCRIPTION(x) extern int fgshim_module_info
#define MODULE_VERSION(x) extern int fgshim_module_info
/* Each ends in a declaration so that the module's `module_init(fn);` is valid at file scope. */
#define module_init(fn)            \
    int fgshim_module_init(void) { \
        return fn();               \
    }                              \
    extern int fgshim_module_info
#define module_exit(fn)             \
    void fgshim_module_exit(void) { \
        fn();                       \
    }                               \
    extern int fgshim_module_info
int fgshim_module_init(void);
void fgshim_module_exit(void);

extern int fgshim_use_count;
#define FG_MOD_INC_USE_COUNT() (++fgshim_use_count)
#define FG_MOD_DEC_USE_COUNT() (--fgshim_use_count)

struct inode {
    int unused;
};
struct file {
    loff_t f_pos;
    unsigned int f_flags;
    void* private_data;
    unsigned int fgshim_sigio; /* SIGIO deliveries to this file's owner */
};
struct file_operations {
    struct module* owner;
    ssize_t (*read)(struct file*, char*, size_t, loff_t*);
    long (*unlocked_ioctl)(struct file*, unsigned int, unsigned long);
    long (*compat_ioctl)(struct file*, unsigned int, unsigned long);
    int (*open)(struct inode*, struct file*);
    int (*release)(struct inode*, struct file*);
    int (*fasync)(int, struct file*, int);
};
#define FG_COMPAT_PTR_IOCTL NULL

int register_chrdev(unsigned int major, const char* name, const struct file_operations* fops);
void unregister_chrdev(unsigned int major, const char* name);

/* ---- user copies: a NULL user address faults ---- */
unsigned long copy_to_user(void* to, const void* from, unsigned long n);
unsigned long copy_from_user(void* to, const void* from, unsigned long n);

/* ---- interrupts ---- */
typedef enum { IRQ_NONE = 0, IRQ_HANDLED = 1 } irqreturn_t;
typedef irqreturn_t (*irq_handler_t)(int, void*);
int fg_request_irq(unsigned int irq, irq_handler_t handler, const char* name, void* dev);
void fg_free_irq(unsigned int irq, void* dev);

/* ---- spinlocks (interrupts off) and mutexes ---- */
typedef struct {
    int unused;
} spinlock_t;
#define DEFINE_SPINLOCK(name) spinlock_t name = {0}
void fgshim_cpu_lock(void);
void fgshim_cpu_unlock(void);
#define spin_lock_irqsave(lock, flags) \
    do {                               \
        (void)(lock);                  \
        (flags) = 0;                   \
        fgshim_cpu_lock();             \
    } while (0)
#define spin_unlock_irqrestore(lock, flags) \
    do {                                    \
        (void)(lock);                       \
        (void)(flags);                      \
        fgshim_cpu_unlock();                \
    } while (0)

struct mutex {
    void* impl; /* a pthread mutex, made on first use */
};
#define DEFINE_MUTEX(name) struct mutex name = {0}
void mutex_lock(struct mutex* m);
void mutex_unlock(struct mutex* m);

/* ---- wait queues ---- */
typedef struct {
    int unused;
} wait_queue_head_t;
#define DECLARE_WAIT_QUEUE_HEAD(name) wait_queue_head_t name = {0}
void wake_up_interruptible(wait_queue_head_t* wq);
/* Called with the cpu lock held; sleeps, and returns nonzero when a signal ended the sleep. */
int fgshim_sleep(wait_queue_head_t* wq);
#define FG_WAIT_EVENT_INTERRUPTIBLE(ret, wq, cond) \
    do {                                           \
        (ret) = 0;                                 \
        fgshim_cpu_lock();                         \
        while (!(cond)) {                          \
            if (fgshim_sleep(&(wq))) {             \
                (ret) = -ERESTARTSYS;              \
                break;                             \
            }                                      \
        }                                          \
        fgshim_cpu_unlock();                       \
    } while (0)

/* ---- deferred work ---- */
struct work_struct;
typedef void (*work_func_t)(struct work_struct*);
struct work_struct {
    work_func_t func;
    int pending;
    struct work_struct* next;
};
#define DECLARE_WORK(name, fn) struct work_struct name = {fn, 0, NULL}
int schedule_work(struct work_struct* work);
/* Runs the work now if it is queued. */
int flush_work(struct work_struct* work);

/* ---- asynchronous notification ---- */
struct fasync_struct {
    int fd;
    struct file* file;
    struct fasync_struct* next;
};
int fasync_helper(int fd, struct file* file, int on, struct fasync_struct** list);
void kill_fasync(struct fasync_struct** list, int sig, int band);

/* ---- lists ---- */
struct list_head {
    struct list_head *next, *prev;
};
#define LIST_HEAD_INIT(name) \
    { &(name), &(name) }
#define LIST_HEAD(name) struct list_head name = LIST_HEAD_INIT(name)
#define container_of(ptr, type, member) ((type*)(void*)((char*)(ptr)-offsetof(type, member)))
#define list_first_entry(head, type, member) container_of((head)->next, type, member)
static inline void INIT_LIST_HEAD(struct list_head* head) {
    head->next = head;
    head->prev = head;
}
static inline int list_empty(const struct list_head* head) {
    return head->next == head;
}
static inline void list_add_tail(struct list_head* entry, struct list_head* head) {
    entry->prev = head->prev;
    entry->next = head;
    head->prev->next = entry;
    head->prev = entry;
}
static inline void list_del(struct list_head* entry) {
    entry->prev->next = entry->next;
    entry->next->prev = entry->prev;
    entry->next = NULL;
    entry->prev = NULL;
}

#endif
