/*
 * A PKCS#11 module DLL for the Windows checks: one slot holding one token
 * (removable hardware, PIN typed on the computer) with a few data objects.
 * Its state lives in the file named by KCC_PKCS11MOCK_STATE, read at
 * C_Initialize and rewritten after every change, so a check outside the
 * process sees what the program left on the token. Every change of a value
 * is also appended to the state file's ".log" companion.
 *
 * State file, one line each:  pin PIN
 *                             object CLASS PRIVATE APPLICATION-HEX LABEL-HEX VALUE-HEX
 * When the file does not exist the token starts with PIN 1234, a private key
 * container of 700 bytes and one other public data object.
 */
#define CRYPTOKI_EXPORTS
#include <p11-kit/pkcs11.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_OBJECTS 16
#define MAX_SESSIONS 8
#define MAX_BYTES 65536

typedef struct {
    int used;
    CK_OBJECT_CLASS cls;
    CK_BBOOL priv;
    CK_ULONG appLen, labelLen, valueLen;
    unsigned char app[256], label[256], value[MAX_BYTES];
} Object;

typedef struct {
    int open;
    CK_ULONG found[MAX_OBJECTS], foundCount, foundNext;
    int finding;
} Session;

static int initialised;
static int loggedIn;
static char pin[64];
static Object objects[MAX_OBJECTS];
static Session sessions[MAX_SESSIONS];

static const char *statePath(void) { return getenv("KCC_PKCS11MOCK_STATE"); }

static void putHex(FILE *f, const unsigned char *bytes, CK_ULONG n)
{
    fputc(' ', f);
    if (n == 0)
        fputc('-', f);
    for (CK_ULONG i = 0; i < n; ++i)
        fprintf(f, "%02x", bytes[i]);
}

static CK_ULONG getHex(const char *text, unsigned char *out, CK_ULONG capacity)
{
    CK_ULONG n = 0;
    unsigned int byte;
    if (strcmp(text, "-") == 0)
        return 0;
    while (n < capacity && sscanf(text + 2 * n, "%2x", &byte) == 1)
        out[n++] = (unsigned char)byte;
    return n;
}

static void addObject(CK_OBJECT_CLASS cls, CK_BBOOL priv, const char *app, const char *label,
                      const unsigned char *value, CK_ULONG valueLen)
{
    for (int i = 0; i < MAX_OBJECTS; ++i) {
        Object *o = &objects[i];
        if (o->used)
            continue;
        memset(o, 0, sizeof *o);
        o->used = 1;
        o->cls = cls;
        o->priv = priv;
        o->appLen = strlen(app);
        memcpy(o->app, app, o->appLen);
        o->labelLen = strlen(label);
        memcpy(o->label, label, o->labelLen);
        o->valueLen = valueLen;
        memcpy(o->value, value, valueLen);
        return;
    }
}

static void save(void)
{
    const char *path = statePath();
    FILE *f = path ? fopen(path, "w") : NULL;
    if (!f)
        return;
    fprintf(f, "pin %s\n", pin);
    for (int i = 0; i < MAX_OBJECTS; ++i) {
        const Object *o = &objects[i];
        if (!o->used)
            continue;
        fprintf(f, "object %lu %d", (unsigned long)o->cls, o->priv ? 1 : 0);
        putHex(f, o->app, o->appLen);
        putHex(f, o->label, o->labelLen);
        putHex(f, o->value, o->valueLen);
        fputc('\n', f);
    }
    fclose(f);
}

static void logLine(const char *what, CK_ULONG handle, const unsigned char *value, CK_ULONG n)
{
    const char *path = statePath();
    char logPath[1024];
    if (!path || snprintf(logPath, sizeof logPath, "%s.log", path) >= (int)sizeof logPath)
        return;
    FILE *f = fopen(logPath, "a");
    if (!f)
        return;
    fprintf(f, "%s %lu %lu", what, (unsigned long)handle, (unsigned long)n);
    putHex(f, value, n < 16 ? n : 16);
    fputc('\n', f);
    fclose(f);
}

static void load(void)
{
    static char line[2 * MAX_BYTES + 1200];
    static char app[600], label[600], value[2 * MAX_BYTES + 2];
    const char *path = statePath();
    FILE *f = path ? fopen(path, "r") : NULL;
    memset(objects, 0, sizeof objects);
    strcpy(pin, "1234");
    if (!f) {
        static unsigned char key[700];
        for (unsigned i = 0; i < sizeof key; ++i)
            key[i] = (unsigned char)(0xA5 ^ (i * 7));
        addObject(CKO_DATA, CK_TRUE, "Kestrik key container", "container", key, sizeof key);
        addObject(CKO_DATA, CK_FALSE, "another application", "other", (const unsigned char *)"keep me", 7);
        save();
        return;
    }
    while (fgets(line, sizeof line, f)) {
        unsigned long cls;
        int priv;
        if (sscanf(line, "pin %63s", pin) == 1)
            continue;
        if (sscanf(line, "object %lu %d %599s %599s %131071s", &cls, &priv, app, label, value) != 5)
            continue;
        for (int i = 0; i < MAX_OBJECTS; ++i) {
            Object *o = &objects[i];
            if (o->used)
                continue;
            o->used = 1;
            o->cls = cls;
            o->priv = priv ? CK_TRUE : CK_FALSE;
            o->appLen = getHex(app, o->app, sizeof o->app);
            o->labelLen = getHex(label, o->label, sizeof o->label);
            o->valueLen = getHex(value, o->value, sizeof o->value);
            break;
        }
    }
    fclose(f);
}

static void blankCopy(unsigned char *dst, size_t size, const char *text)
{
    memset(dst, ' ', size);
    memcpy(dst, text, strlen(text));
}

static Session *session(CK_SESSION_HANDLE h)
{
    return h >= 1 && h <= MAX_SESSIONS && sessions[h - 1].open ? &sessions[h - 1] : NULL;
}

static Object *object(CK_OBJECT_HANDLE h)
{
    if (h < 1 || h > MAX_OBJECTS || !objects[h - 1].used)
        return NULL;
    Object *o = &objects[h - 1];
    return o->priv && !loggedIn ? NULL : o;
}

#define CHECK_SESSION(h) \
    if (!initialised) return CKR_CRYPTOKI_NOT_INITIALIZED; \
    Session *s = session(h); \
    if (!s) return CKR_SESSION_HANDLE_INVALID

static CK_RV mockInitialize(void *args)
{
    (void)args;
    if (initialised)
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    load();
    memset(sessions, 0, sizeof sessions);
    loggedIn = 0;
    initialised = 1;
    return CKR_OK;
}

static CK_RV mockFinalize(void *reserved)
{
    (void)reserved;
    if (!initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    initialised = 0;
    return CKR_OK;
}

static CK_RV mockGetInfo(CK_INFO *info)
{
    memset(info, 0, sizeof *info);
    info->cryptokiVersion.major = 2;
    info->cryptokiVersion.minor = 40;
    blankCopy(info->manufacturerID, sizeof info->manufacturerID, "Kestrik tests");
    blankCopy(info->libraryDescription, sizeof info->libraryDescription, "mock token");
    return CKR_OK;
}

static CK_RV mockGetSlotList(CK_BBOOL present, CK_SLOT_ID *list, CK_ULONG *count)
{
    (void)present;
    if (!initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (list && *count < 1) {
        *count = 1;
        return CKR_BUFFER_TOO_SMALL;
    }
    if (list)
        list[0] = 7;
    *count = 1;
    return CKR_OK;
}

static CK_RV mockGetSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO *info)
{
    if (slot != 7)
        return CKR_SLOT_ID_INVALID;
    memset(info, 0, sizeof *info);
    blankCopy(info->slotDescription, sizeof info->slotDescription, "mock reader");
    blankCopy(info->manufacturerID, sizeof info->manufacturerID, "Kestrik tests");
    info->flags = CKF_TOKEN_PRESENT | CKF_REMOVABLE_DEVICE | CKF_HW_SLOT;
    return CKR_OK;
}

static CK_RV mockGetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO *info)
{
    if (slot != 7)
        return CKR_SLOT_ID_INVALID;
    memset(info, 0, sizeof *info);
    blankCopy(info->label, sizeof info->label, "Mock token");
    blankCopy(info->manufacturerID, sizeof info->manufacturerID, "Kestrik tests");
    blankCopy(info->model, sizeof info->model, "Mock");
    blankCopy(info->serialNumber, sizeof info->serialNumber, "0000000000000042");
    info->flags = CKF_TOKEN_INITIALIZED | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED;
    info->ulMaxSessionCount = info->ulMaxRwSessionCount = MAX_SESSIONS;
    info->ulMaxPinLen = 63;
    info->ulMinPinLen = 4;
    return CKR_OK;
}

static CK_RV mockOpenSession(CK_SLOT_ID slot, CK_FLAGS flags, void *app, CK_NOTIFY notify,
                             CK_SESSION_HANDLE *handle)
{
    (void)app;
    (void)notify;
    if (!initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != 7)
        return CKR_SLOT_ID_INVALID;
    if (!(flags & CKF_SERIAL_SESSION))
        return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
    for (CK_ULONG i = 0; i < MAX_SESSIONS; ++i) {
        if (!sessions[i].open) {
            memset(&sessions[i], 0, sizeof sessions[i]);
            sessions[i].open = 1;
            *handle = i + 1;
            return CKR_OK;
        }
    }
    return CKR_SESSION_COUNT;
}

static CK_RV mockCloseSession(CK_SESSION_HANDLE h)
{
    CHECK_SESSION(h);
    s->open = 0;
    int any = 0;
    for (int i = 0; i < MAX_SESSIONS; ++i)
        any |= sessions[i].open;
    if (!any)
        loggedIn = 0; /* closing the last session logs out */
    return CKR_OK;
}

static CK_RV mockLogin(CK_SESSION_HANDLE h, CK_USER_TYPE user, CK_UTF8CHAR *text, CK_ULONG len)
{
    CHECK_SESSION(h);
    (void)s;
    if (user != CKU_USER)
        return CKR_USER_TYPE_INVALID;
    if (loggedIn)
        return CKR_USER_ALREADY_LOGGED_IN;
    if (!text || len != strlen(pin) || memcmp(text, pin, len) != 0)
        return CKR_PIN_INCORRECT;
    loggedIn = 1;
    return CKR_OK;
}

static CK_RV mockLogout(CK_SESSION_HANDLE h)
{
    CHECK_SESSION(h);
    (void)s;
    if (!loggedIn)
        return CKR_USER_NOT_LOGGED_IN;
    loggedIn = 0;
    return CKR_OK;
}

static int matches(const Object *o, const CK_ATTRIBUTE *a)
{
    switch (a->type) {
    case CKA_CLASS:
        return a->ulValueLen == sizeof o->cls && memcmp(a->pValue, &o->cls, sizeof o->cls) == 0;
    case CKA_APPLICATION:
        return a->ulValueLen == o->appLen && memcmp(a->pValue, o->app, o->appLen) == 0;
    case CKA_LABEL:
        return a->ulValueLen == o->labelLen && memcmp(a->pValue, o->label, o->labelLen) == 0;
    default:
        return 0;
    }
}

static CK_RV mockFindObjectsInit(CK_SESSION_HANDLE h, CK_ATTRIBUTE *templ, CK_ULONG count)
{
    CHECK_SESSION(h);
    if (s->finding)
        return CKR_OPERATION_ACTIVE;
    s->finding = 1;
    s->foundCount = s->foundNext = 0;
    for (CK_ULONG i = 1; i <= MAX_OBJECTS; ++i) {
        const Object *o = object(i);
        int all = o != NULL;
        for (CK_ULONG t = 0; all && t < count; ++t)
            all = matches(o, &templ[t]);
        if (all)
            s->found[s->foundCount++] = i;
    }
    return CKR_OK;
}

static CK_RV mockFindObjects(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE *out, CK_ULONG max, CK_ULONG *n)
{
    CHECK_SESSION(h);
    if (!s->finding)
        return CKR_OPERATION_NOT_INITIALIZED;
    *n = 0;
    while (*n < max && s->foundNext < s->foundCount)
        out[(*n)++] = s->found[s->foundNext++];
    return CKR_OK;
}

static CK_RV mockFindObjectsFinal(CK_SESSION_HANDLE h)
{
    CHECK_SESSION(h);
    if (!s->finding)
        return CKR_OPERATION_NOT_INITIALIZED;
    s->finding = 0;
    return CKR_OK;
}

static CK_RV copyOut(CK_ATTRIBUTE *a, const void *bytes, CK_ULONG n)
{
    if (!a->pValue) {
        a->ulValueLen = n;
        return CKR_OK;
    }
    if (a->ulValueLen < n) {
        a->ulValueLen = CK_UNAVAILABLE_INFORMATION;
        return CKR_BUFFER_TOO_SMALL;
    }
    memcpy(a->pValue, bytes, n);
    a->ulValueLen = n;
    return CKR_OK;
}

static CK_RV mockGetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE *templ,
                                   CK_ULONG count)
{
    CHECK_SESSION(h);
    (void)s;
    const Object *o = object(obj);
    if (!o)
        return CKR_OBJECT_HANDLE_INVALID;
    CK_RV result = CKR_OK;
    const CK_BBOOL yes = CK_TRUE;
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_ATTRIBUTE *a = &templ[i];
        CK_RV rv;
        switch (a->type) {
        case CKA_CLASS: rv = copyOut(a, &o->cls, sizeof o->cls); break;
        case CKA_TOKEN: rv = copyOut(a, &yes, sizeof yes); break;
        case CKA_PRIVATE: rv = copyOut(a, &o->priv, sizeof o->priv); break;
        case CKA_MODIFIABLE: rv = copyOut(a, &yes, sizeof yes); break;
        case CKA_APPLICATION: rv = copyOut(a, o->app, o->appLen); break;
        case CKA_LABEL: rv = copyOut(a, o->label, o->labelLen); break;
        case CKA_VALUE: rv = copyOut(a, o->value, o->valueLen); break;
        default:
            a->ulValueLen = CK_UNAVAILABLE_INFORMATION;
            rv = CKR_ATTRIBUTE_TYPE_INVALID;
        }
        if (rv != CKR_OK)
            result = rv;
    }
    return result;
}

static CK_RV mockSetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE *templ,
                                   CK_ULONG count)
{
    CHECK_SESSION(h);
    (void)s;
    Object *o = object(obj);
    if (!o)
        return CKR_OBJECT_HANDLE_INVALID;
    if (o->priv && !loggedIn)
        return CKR_USER_NOT_LOGGED_IN;
    for (CK_ULONG i = 0; i < count; ++i) {
        if (templ[i].type != CKA_VALUE)
            return CKR_ATTRIBUTE_READ_ONLY;
        if (templ[i].ulValueLen > MAX_BYTES)
            return CKR_ATTRIBUTE_VALUE_INVALID;
    }
    for (CK_ULONG i = 0; i < count; ++i) {
        o->valueLen = templ[i].ulValueLen;
        memcpy(o->value, templ[i].pValue, o->valueLen);
        logLine("set", obj, o->value, o->valueLen);
    }
    save();
    return CKR_OK;
}

static CK_RV mockDestroyObject(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj)
{
    CHECK_SESSION(h);
    (void)s;
    Object *o = object(obj);
    if (!o)
        return CKR_OBJECT_HANDLE_INVALID;
    memset(o, 0, sizeof *o);
    logLine("destroy", obj, NULL, 0);
    save();
    return CKR_OK;
}

static CK_RV notSupported(void) { return CKR_FUNCTION_NOT_SUPPORTED; }

static CK_FUNCTION_LIST functions;

CK_RV C_GetFunctionList(CK_FUNCTION_LIST **list)
{
    if (!list)
        return CKR_ARGUMENTS_BAD;
    /* Every entry first answers "not supported"; the ones the mock has follow. */
    void **slots = (void **)&functions.C_Initialize;
    void **end = (void **)(&functions.C_WaitForSlotEvent + 1);
    for (void **p = slots; p < end; ++p)
        *p = (void *)notSupported;
    functions.version.major = 2;
    functions.version.minor = 40;
    functions.C_GetFunctionList = C_GetFunctionList;
    functions.C_Initialize = mockInitialize;
    functions.C_Finalize = mockFinalize;
    functions.C_GetInfo = mockGetInfo;
    functions.C_GetSlotList = mockGetSlotList;
    functions.C_GetSlotInfo = mockGetSlotInfo;
    functions.C_GetTokenInfo = mockGetTokenInfo;
    functions.C_OpenSession = mockOpenSession;
    functions.C_CloseSession = mockCloseSession;
    functions.C_Login = mockLogin;
    functions.C_Logout = mockLogout;
    functions.C_FindObjectsInit = mockFindObjectsInit;
    functions.C_FindObjects = mockFindObjects;
    functions.C_FindObjectsFinal = mockFindObjectsFinal;
    functions.C_GetAttributeValue = mockGetAttributeValue;
    functions.C_SetAttributeValue = mockSetAttributeValue;
    functions.C_DestroyObject = mockDestroyObject;
    *list = &functions;
    return CKR_OK;
}
