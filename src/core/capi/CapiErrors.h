#pragma once

#include <cstdint>

// Error numbers of the CAPI component itself, given to OnError; CAPI's own error and info
// values are passed on unchanged. No text belongs to them.
namespace CapiError {
// The library was not found or failed to load (at binding and at every RegisterApplication).
constexpr uint32_t ERR_DLL_NOT_LOADED = 0x6001;
// CAPI_INSTALLED returned non-zero or is missing.
constexpr uint32_t ERR_CAPI_NOT_INSTALLED = 0x6002;
// A put or fetch was attempted while not registered.
constexpr uint32_t ERR_NOT_REGISTERED = 0x6004;
// Dial while a call exists, or Answer after the call is already connected.
constexpr uint32_t ERR_CALL_ACTIVE = 0x6006;
// Answer with no unanswered incoming call.
constexpr uint32_t ERR_NO_PENDING_CALL = 0x6007;
// The remote CAPI server went away (end of stream on the application's connection); the
// component has released its registration and may be registered again.
constexpr uint32_t ERR_CONNECTION_LOST = 0x6008;
// The remote CAPI setting is not "host:port" (port 1 to 65534), or the library cannot reach a
// remote CAPI; nothing is registered.
constexpr uint32_t ERR_REMOTE_INVALID = 0x6009;
// An event handler or the dispatcher failed (threw) while a message was handled on the message
// thread; the message thread goes on with the next message.
constexpr uint32_t ERR_HANDLER_FAILED = 0x600A;
// SendData waited too long for a free transmit buffer (no confirmation came); the rest of the
// data is not sent.
constexpr uint32_t ERR_SEND_TIMEOUT = 0x600B;

// File transfer (given to OnError with command 0x86 and subcommand 0x82 on the receiving side,
// 0x80 on the sending side, and to OnTransferError with the file concerned).
// A received file name holds nothing that can be stored inside the receive folder, or names a
// file the program, the shell or the desktop would read, load or run (see Transfer.h).
constexpr uint32_t ERR_TRANSFER_NAME_REFUSED = 0x6010;
// A requested file is not a plain file directly in the send folder; nothing is sent.
constexpr uint32_t ERR_TRANSFER_REQUEST_REFUSED = 0x6011;
// A size frame that is not a decimal number, or more data than it announced; the file is not
// kept.
constexpr uint32_t ERR_TRANSFER_BAD_SIZE = 0x6012;
// A size or data frame with no file announced before it; it is ignored.
constexpr uint32_t ERR_TRANSFER_NO_FILE = 0x6013;
// A received file cannot be created, written or stored under its name; it is not kept.
constexpr uint32_t ERR_TRANSFER_WRITE = 0x6014;
// A file to send cannot be opened or read; no end frame follows.
constexpr uint32_t ERR_TRANSFER_READ = 0x6015;
// The link went down while a file was being received; the part received is not kept.
constexpr uint32_t ERR_TRANSFER_LINK_LOST = 0x6016;
// A file being received ended short of the size it announced (or announced none), was followed
// by the next file's name before its end frame, or lost a block on the way (one that could not be
// read); the part received is not kept.
constexpr uint32_t ERR_TRANSFER_INCOMPLETE = 0x6018;
// Data blocks of a file being sent were refused by CAPI or the network (or never confirmed);
// the rest of the file is not sent and the other side does not keep it.
constexpr uint32_t ERR_TRANSFER_NOT_SENT = 0x6019;
// A file to be received is larger than the receive cap (MaxReceiveSize); it is not kept.
constexpr uint32_t ERR_TRANSFER_TOO_LARGE = 0x601A;
// A file to be received is larger than the free space of the receive folder; it is not kept.
constexpr uint32_t ERR_TRANSFER_NO_SPACE = 0x601B;
// Another transfer runs: too many transfers requested by the other side wait already, or a
// transfer of this side waited too long for its turn; this one is dropped.
constexpr uint32_t ERR_TRANSFER_BUSY = 0x6017;

// Reason given to OnDisconnect and OnBDisconnect for a call ended by the release.
constexpr uint32_t REASON_RELEASED = 0x8005;
} // namespace CapiError
