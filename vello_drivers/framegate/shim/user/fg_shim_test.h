/*
 * Controls of the user-space shim for tests and for the encoder stand-in's in-process device: load and
 * unload the driver, call its file operations, raise interrupts, run deferred work, send a signal to a
 * sleeper, inject failures and read the kernel log.
 */
#ifndef FG_SHIM_TEST_H
#define FG_SHIM_TEST_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct file;

/* Resets the shim (log, failures, interrupts, work, signals) and runs the driver's load routine. */
int fgshim_load(void);
/* Runs the driver's unload routine; the device must be registered. */
void fgshim_unload(void);

/* The registered character device's operations. open returns 0 and the file, or the driver's error. */
int fgshim_open(unsigned int flags, struct file** file);
int fgshim_release(struct file* file); /* also frees the file */
/* Frees a file without calling release (its driver instance is gone). */
void fgshim_discard(struct file* file);
long fgshim_read(struct file* file, void* buf, size_t size);
long fgshim_ioctl(struct file* file, unsigned int cmd, unsigned long arg);
int fgshim_fasync(struct file* file, int on);
/* SIGIO deliveries to the file's owner so far. */
unsigned int fgshim_sigio_count(const struct file* file);
/* Is the device registered under major 80? */
int fgshim_chrdev_registered(void);
int fgshim_module_use_count(void);

/* Calls the handler requested for irq; 0 when none is requested. */
int fgshim_raise_irq(unsigned int irq);
int fgshim_irq_requested(unsigned int irq);
/* Frees of interrupts that were not requested (a kernel would warn). */
int fgshim_bad_irq_frees(void);
/* Runs queued deferred work; returns how many items ran. */
int fgshim_run_work(void);

/* Threads asleep in a wait queue right now. */
int fgshim_sleepers(void);
/* A signal for the sleeping (or next sleeping) thread: its sleep ends with -ERESTARTSYS. */
void fgshim_send_signal(void);

/* Failure injection: registration of the character device, requests of one interrupt. */
void fgshim_fail_chrdev(int fail);
void fgshim_fail_irq(unsigned int irq, int fail);

/* The kernel log since the last load or clear; copies at most cap-1 bytes and a terminator. */
size_t fgshim_log(char* buf, size_t cap);
void fgshim_log_clear(void);

#ifdef __cplusplus
}
#endif

#endif
