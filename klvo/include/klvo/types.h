/* Common types, codes and the export macro of the klvo C interface. */
#ifndef KLVO_TYPES_H
#define KLVO_TYPES_H

#include <stdint.h>

#if defined(_WIN32)
#define KLVO_API __declspec(dllexport)
#else
#define KLVO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define KLVO_EXTERN_C_BEGIN extern "C" {
#define KLVO_EXTERN_C_END }
#else
#define KLVO_EXTERN_C_BEGIN
#define KLVO_EXTERN_C_END
#endif

KLVO_EXTERN_C_BEGIN

/* Opaque handle of an optimization problem. */
typedef struct klvo_problem_s *KLVOprob;
/* Opaque handle of a problem's nonlinear layer (wraps a KLVOprob). */
typedef struct kslp_problem_s *KSLPprob;

/* The infinite bound: a bound at or beyond +-KLVO_INFINITY means "no bound". */
#define KLVO_INFINITY 1.0e20

/* Error codes. */
#define KLVO_OK 0
#define KLVO_ERR_INVALID_ARGUMENT 1  /* a bad argument: null pointer, index out of range, ... */
#define KLVO_ERR_NOT_INITIALIZED 2   /* KLVOinit has not been called */
#define KLVO_ERR_OUT_OF_MEMORY 3
#define KLVO_ERR_UNKNOWN_ID 4        /* no control or attribute with that id */
#define KLVO_ERR_WRONG_TYPE 5        /* control or attribute accessed with the wrong type */
#define KLVO_ERR_FILE 6              /* a file could not be opened, read or written */
#define KLVO_ERR_NOT_SUPPORTED 7     /* the model holds something no engine can solve yet */
#define KLVO_ERR_NOT_AVAILABLE 8     /* a layer or feature is not built into this library */
#define KLVO_ERR_ENGINE 9            /* an engine failed */
#define KLVO_ERR_CALLBACK 10         /* bad callback bookkeeping (e.g. removing one never added) */
#define KLVO_ERR_NO_SOLUTION 11      /* no solution of the requested kind is available */
#define KLVO_ERR_BUSY 12             /* the problem is being solved (or changed) by another call */
#define KLVO_ERR_NOT_IMPLEMENTED 13  /* the function is declared but not written yet */
#define KLVO_ERR_INTERNAL 99

/* Message types passed to message callbacks. A type below 1 is a request to flush output. */
#define KLVO_MSG_FLUSH 0
#define KLVO_MSG_INFO 1
#define KLVO_MSG_DEBUG 2
#define KLVO_MSG_WARNING 3
#define KLVO_MSG_ERROR 4

KLVO_EXTERN_C_END

#endif /* KLVO_TYPES_H */
