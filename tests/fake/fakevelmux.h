#ifndef KCC_FAKEVELMUX_H
#define KCC_FAKEVELMUX_H

// Control side of the link-time fake of the velmux_* functions (the ten and
// the two extras).
//
// The fake models one library: scripted media per type code, live contexts
// with one session each, and one key container shared by all media. Every
// call is logged before it is answered, so tests can compare whole call
// sequences and the bytes of every write.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "velmux.h"

namespace FakeVelmux {

struct Call {
    std::string function;              // "velmux_open_session", ...
    uint32_t ctx = 0;                  // context argument; create_ctx: the handle given out
    uint32_t mediaType = 0;            // create_ctx only
    std::optional<MediaRecord> record; // get_media_info, open_session; empty for a null pointer
    std::string pin;                   // login
    bool pinNull = false;              // login was handed a null pointer
    uint32_t flags = 0;                // open_session
    uint32_t mode = 0;                 // write_container
    std::vector<uint8_t> data;         // write_container: copy of the buffer
    uint32_t length = 0;               // write_container
    // In-value of the in/out argument: get_media_list capacity, MediaInfo
    // size word, get_container_size preset.
    uint32_t preset = 0;
    uint32_t status = 0;               // what the fake returned
};

// Forget media, calls, injections and contexts; container back to present,
// 16 bytes.
void reset();
// Forget the calls logged so far (and so the occurrence counts of failCall);
// media, injections and the container stay.
void clearCalls();

// Adds one medium listed under typeCode, after those added before. The strings
// are copied into MediaInfo bytewise, cut at the field size; a string that fills
// its field exactly is left without a NUL on purpose.
void addMedia(uint32_t typeCode, const MediaRecord &record, const char *name,
              const char *detail, const char *serialNumber);

// A record whose opaque bytes are all `fill`, so records differ in more than
// their public fields.
MediaRecord makeRecord(uint32_t slotId, uint32_t mediaType, uint8_t fill);
std::vector<uint8_t> bytes(const MediaRecord &record);

// Makes the occurrence-th call (1-based; 0 = every call) of `function` return
// `status`. A failure status means the call does nothing; a success status
// other than 0 lets the call work and returns that value instead of 0.
void failCall(const std::string &function, int occurrence = 0,
              uint32_t status = VELMUX_E_TOKEN);

// The container: its size, and whether it still exists (cleared by a
// successful velmux_delete_container).
void setContainerSize(uint32_t size);
void setContainerPresent(bool present);
bool containerPresent();
// How many containers the token holds (more than one: every container call
// but the count refuses as ambiguous).
void setContainers(uint32_t count);
// What a successful write reports through velmux_get_write_method
// (VELMUX_WRITTEN_IN_PLACE unless told).
void setWriteMethod(uint32_t method);

// What velmux_get_module_error tells (not logged as a call); with
// failCall("velmux_create_ctx", 0, VELMUX_E_MODULE) a named module that did
// not load.
void setModuleError(const std::string &text);

const std::vector<Call> &calls();
std::vector<std::string> callNames();
// Contexts created and not yet destroyed.
size_t liveContexts();

} // namespace FakeVelmux

#endif // KCC_FAKEVELMUX_H
