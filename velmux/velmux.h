/*
 * velmux: the key-container library over PKCS#11.
 *
 * Ten plain C functions. Every function returns a 32-bit status: a value with
 * both top bits set (0xC0000000 and above) is a failure, anything else is
 * success. The library never prints, never exits and never lets an exception
 * out; every failure is a status.
 *
 * Media type codes. Every token that is present, initialised and writable is
 * listed under exactly one code, decided by its slot:
 *   1  removable hardware token, PIN typed on the computer (USB token, card)
 *   2  not used; listing it gives no media
 *   3  removable hardware token with its own PIN pad
 *   4  built-in hardware token, PIN typed on the computer
 *   5  built-in hardware token with its own PIN pad
 *   6  software token, PIN typed on the computer (for instance SoftHSM2)
 *   7  software token behind a protected authentication path
 * "Hardware" is a slot with CKF_HW_SLOT, "removable" one with
 * CKF_REMOVABLE_DEVICE, a PIN pad a token with
 * CKF_PROTECTED_AUTHENTICATION_PATH. Write-protected and uninitialised tokens
 * are listed under no code: they cannot hold a key container.
 *
 * Modules: by default every PKCS#11 module registered with p11-kit. When the
 * environment variable VELMUX_PKCS11_MODULE names module files (separated by
 * colons; one file on Windows), those alone are used, and each must load:
 * one that does not makes velmux_create_ctx fail with VELMUX_E_MODULE, and
 * velmux_get_module_error says which file and why.
 *
 * Key container: the one CKO_DATA object on the token whose CKA_APPLICATION
 * is VELMUX_CONTAINER_APPLICATION. It may be private (then it is found only
 * after velmux_login). Its size is the length of its CKA_VALUE.
 *
 * A deletion is proven: after the token accepts it, the module is started
 * afresh where this context is its only user (C_Finalize, C_Initialize; not
 * for openCryptoki, which crashes on a second initialisation), a fresh
 * session logs in again with the PIN of the last log-in and searches for the
 * container by its application, by its value before the first write, by the
 * value of every write, and by its CKA_UNIQUE_ID where the token has one. Any
 * object found is VELMUX_E_NOT_DELETED (velmux_get_remnant says which object
 * holds which bytes); a proof that could not be made is
 * VELMUX_E_DELETION_UNPROVEN, with the token's answer as the last error. The
 * PIN and the original value are kept in locked memory until then and
 * zeroed after. So is a write proven: the value is read back after the token
 * accepts it, and one that differs from what was written is
 * VELMUX_E_NOT_WRITTEN.
 *
 * Tokens that refuse to change a data object's value get each write as a new
 * object holding the new bytes (labelled VELMUX_COPY_LABEL), after which the
 * old one is destroyed. A labelled copy holds written bytes only, never the
 * original ones: one left beside a container by an interrupted write is not
 * a second container, and velmux_delete_container destroys it too.
 *
 * Beyond the ten functions the library exports extras (velmux_get_write_method,
 * velmux_count_containers, velmux_get_media_maker and those after them).
 * Callers look them up at run time, so a library without them still serves.
 */
#ifndef VELMUX_H
#define VELMUX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(VELMUX_BUILDING)
#    define VELMUX_API __declspec(dllexport)
#  else
     /* No dllimport: the import library's thunks serve the callers, so the
        same callers also link against the tests' static fake. */
#    define VELMUX_API
#  endif
#elif defined(__GNUC__)
#  define VELMUX_API __attribute__((visibility("default")))
#else
#  define VELMUX_API
#endif

typedef uint32_t velmux_status;
typedef uint32_t velmux_ctx;

#define VELMUX_FAILED(status) (((uint32_t)(status) & 0xC0000000u) == 0xC0000000u)
#define VELMUX_SUCCEEDED(status) (!VELMUX_FAILED(status))

#define VELMUX_CONTAINER_APPLICATION "Kestrik key container"
#define VELMUX_COPY_LABEL "Kestrik key container: written copy"

/* Statuses. 0 is success; each failure cause has its own value. */
#define VELMUX_OK                        0x00000000u
#define VELMUX_E_INVALID_ARGUMENT        0xC0000001u /* null pointer, bad size word, bad constant */
#define VELMUX_E_INVALID_CONTEXT         0xC0000002u /* no such context handle */
#define VELMUX_E_NO_MEMORY               0xC0000003u
#define VELMUX_E_MODULE                  0xC0000004u /* no PKCS#11 module could be loaded */
#define VELMUX_E_MEDIA_TYPE              0xC0000005u /* unknown media type code */
#define VELMUX_E_MEDIA_NOT_FOUND         0xC0000006u /* the record's token is not present any more */
#define VELMUX_E_RECORD                  0xC0000007u /* the record was not made by this library */
#define VELMUX_E_NO_SESSION              0xC0000008u /* no session is open on the context */
#define VELMUX_E_SESSION_OPEN            0xC0000009u /* a session is already open on the context */
#define VELMUX_E_PIN_INCORRECT           0xC000000Au
#define VELMUX_E_PIN_LOCKED              0xC000000Bu
#define VELMUX_E_NOT_LOGGED_IN           0xC000000Cu
#define VELMUX_E_CONTAINER_NOT_FOUND     0xC000000Du
#define VELMUX_E_CONTAINER_AMBIGUOUS     0xC000000Eu /* more than one container on the token */
#define VELMUX_E_CONTAINER_TOO_LARGE     0xC000000Fu /* does not fit a 32-bit size */
#define VELMUX_E_LENGTH                  0xC0000010u /* write length is not the container's size */
#define VELMUX_E_TOKEN                   0xC0000011u /* any other refusal of the token */
#define VELMUX_E_PIN_NOT_INITIALIZED     0xC0000012u /* the token has no user PIN yet */
#define VELMUX_E_PIN_EXPIRED             0xC0000013u /* the user PIN must be changed first */
#define VELMUX_E_NOT_DELETED             0xC0000014u /* the token said it deleted the container, yet it is still there */
#define VELMUX_E_NOT_WRITTEN             0xC0000015u /* the token said it wrote the container, yet it holds other bytes */
#define VELMUX_E_DELETION_UNPROVEN       0xC0000016u /* the token said it deleted the container; its absence could not be checked */

/* How velmux_write_container reached the container, as bits. */
#define VELMUX_WRITTEN_IN_PLACE          0x00000001u /* the object's value was overwritten */
#define VELMUX_WRITTEN_BY_REPLACEMENT    0x00000002u /* a new object replaced the old one */

#pragma pack(push, 1)

/* What velmux_get_remnant says a deletion's proof found. */
#define VELMUX_REMNANT_NONE              0u /* nothing */
#define VELMUX_REMNANT_ORIGINAL          1u /* the container's bytes from before the first write */
#define VELMUX_REMNANT_PASS              2u /* the bytes of one write (VelmuxRemnant::pass) */
#define VELMUX_REMNANT_OTHER             3u /* an object the search matched, holding other bytes */

/* One medium. slotId and mediaType are public; the rest is the library's own. */
typedef struct MediaRecord {
    uint32_t slotId;
    uint32_t mediaType;
    uint8_t opaque[256];
} MediaRecord;

/* Display information of one medium; each string NUL-terminated UTF-8. */
typedef struct MediaInfo {
    uint32_t size;          /* preset to sizeof(MediaInfo) by the caller */
    uint8_t reserved[8];
    char detail[33];        /* model, or manufacturer when the model is blank */
    char name[50];          /* token label */
    char serialNumber[33];
} MediaInfo;

/* The object a deletion's proof found; strings NUL-terminated UTF-8, cut at a
 * character boundary. */
typedef struct VelmuxRemnant {
    uint32_t size;          /* preset to sizeof(VelmuxRemnant) by the caller */
    uint32_t bytes;         /* VELMUX_REMNANT_* */
    uint32_t pass;          /* VELMUX_REMNANT_PASS: the write, 1 for the first */
    char label[65];
    char application[65];
} VelmuxRemnant;

/* Who made a medium, as its token says (CK_TOKEN_INFO manufacturerID and
 * model), trailing blanks dropped, NUL-terminated UTF-8; empty where blank. */
typedef struct VelmuxMaker {
    uint32_t size;          /* preset to sizeof(VelmuxMaker) by the caller */
    char manufacturer[33];
    char model[17];
} VelmuxMaker;

#pragma pack(pop)

#define VELMUX_MEDIA_LIST_CAPACITY 32u

VELMUX_API velmux_status velmux_create_ctx(velmux_ctx *context, uint32_t mediaType);
VELMUX_API velmux_status velmux_destroy_ctx(velmux_ctx context);
VELMUX_API velmux_status velmux_get_media_list(velmux_ctx context, MediaRecord *records, uint32_t *count);
VELMUX_API velmux_status velmux_get_media_info(velmux_ctx context, const MediaRecord *record, MediaInfo *info);
VELMUX_API velmux_status velmux_open_session(velmux_ctx context, const MediaRecord *record, uint32_t flags);
VELMUX_API velmux_status velmux_close_session(velmux_ctx context);
VELMUX_API velmux_status velmux_login(velmux_ctx context, const char *pin);
VELMUX_API velmux_status velmux_get_container_size(velmux_ctx context, uint32_t *size);
VELMUX_API velmux_status velmux_write_container(velmux_ctx context, uint32_t mode, const void *buffer, uint32_t length);
VELMUX_API velmux_status velmux_delete_container(velmux_ctx context);

/* Extras, looked up at run time. Every successful write since the context was
 * made, as VELMUX_WRITTEN_* bits (0: nothing written yet). */
VELMUX_API velmux_status velmux_get_write_method(velmux_ctx context, uint32_t *methods);
/* Key containers on the token of the open session; copies left by an
 * interrupted write are not counted. */
VELMUX_API velmux_status velmux_count_containers(velmux_ctx context, uint32_t *count);

/* The PKCS#11 return value behind the last failure of a call on this thread
 * (0: the last call did not fail on the token), and the token library's own
 * text for it, NUL-terminated, empty where there is none. */
VELMUX_API velmux_status velmux_get_last_error(uint32_t *rv, char *text, uint32_t textSize);
/* The name Cryptoki gives a return value ("CKR_DEVICE_ERROR",
 * "CKR_VENDOR_DEFINED+0x1"), NUL-terminated; empty for one it does not name. */
VELMUX_API velmux_status velmux_get_rv_name(uint32_t rv, char *name, uint32_t nameSize);
/* Why the last velmux_create_ctx on this thread failed with VELMUX_E_MODULE
 * although VELMUX_PKCS11_MODULE named modules: "file: reason" for the first
 * named module that could not be loaded or initialised (the system loader's
 * or the module's own words), NUL-terminated, cut at a character boundary;
 * empty when that call loaded every named module, or none was named. */
VELMUX_API velmux_status velmux_get_module_error(char *text, uint32_t textSize);

/* The object the last deletion's proof found (bytes VELMUX_REMNANT_NONE when
 * none). */
VELMUX_API velmux_status velmux_get_remnant(velmux_ctx context, VelmuxRemnant *remnant);
/* The container's CKA_LABEL as first read on this context, NUL-terminated,
 * cut at a character boundary; empty when not read or not set. */
VELMUX_API velmux_status velmux_get_container_label(velmux_ctx context, char *label, uint32_t labelSize);

/* The maker and model of the record's token as it was listed; a session
 * opened on the record proves the token still says the same. */
VELMUX_API velmux_status velmux_get_media_maker(velmux_ctx context, const MediaRecord *record, VelmuxMaker *maker);

typedef velmux_status (*velmux_get_write_method_fn)(velmux_ctx, uint32_t *);
typedef velmux_status (*velmux_get_last_error_fn)(uint32_t *, char *, uint32_t);
typedef velmux_status (*velmux_get_rv_name_fn)(uint32_t, char *, uint32_t);
typedef velmux_status (*velmux_get_module_error_fn)(char *, uint32_t);
typedef velmux_status (*velmux_count_containers_fn)(velmux_ctx, uint32_t *);
typedef velmux_status (*velmux_get_remnant_fn)(velmux_ctx, VelmuxRemnant *);
typedef velmux_status (*velmux_get_container_label_fn)(velmux_ctx, char *, uint32_t);
typedef velmux_status (*velmux_get_media_maker_fn)(velmux_ctx, const MediaRecord *, VelmuxMaker *);

#ifdef __cplusplus
}
#define VELMUX_STATIC_ASSERT static_assert
#else
#define VELMUX_STATIC_ASSERT _Static_assert
#endif

VELMUX_STATIC_ASSERT(sizeof(MediaRecord) == 264, "MediaRecord is 264 bytes");
VELMUX_STATIC_ASSERT(sizeof(MediaInfo) == 128, "MediaInfo is 128 bytes");
VELMUX_STATIC_ASSERT(sizeof(VelmuxRemnant) == 142, "VelmuxRemnant is 142 bytes");
VELMUX_STATIC_ASSERT(sizeof(VelmuxMaker) == 54, "VelmuxMaker is 54 bytes");
VELMUX_STATIC_ASSERT(offsetof(MediaRecord, mediaType) == 4, "mediaType at offset 4");
VELMUX_STATIC_ASSERT(offsetof(MediaRecord, opaque) == 8, "opaque bytes at offset 8");
VELMUX_STATIC_ASSERT(offsetof(MediaInfo, detail) == 12, "detail at offset 12");
VELMUX_STATIC_ASSERT(offsetof(MediaInfo, name) == 45, "name at offset 45");
VELMUX_STATIC_ASSERT(offsetof(MediaInfo, serialNumber) == 95, "serialNumber at offset 95");

#endif /* VELMUX_H */
