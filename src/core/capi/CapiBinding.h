#pragma once

// The platform's CAPI 2.0 library behind one small interface. The Linux binding (libcapi20,
// CapiBindingLinux.cpp) is the only one so far; another platform adds one file with its own
// CreateCapiBinding and LibraryFileName.
//
// Every call into the library is serialised by one lock shared by all bindings of the process
// (the library keeps global tables without locks of its own). Nothing waits inside the library:
// the message thread waits with poll() on the application's descriptor (FileNo), outside the lock.

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CapiBinding
{
public:
    virtual ~CapiBinding() = default;

    // Loads the library at `path` (a full path, or a bare name for the system loader) and resolves
    // its entry points; a missing entry point stays empty. False when it could not be loaded.
    virtual bool Load(const QString &path) = 0;
    virtual bool IsLoaded() const = 0;

    // Makes the library speak to a remote CAPI server. False when the library cannot do that.
    virtual bool SelectRemote(const QString &host, int port) = 0;
    // Makes the library speak to the local CAPI again after SelectRemote; nothing when no remote
    // server was selected. Called while no application is registered: the library chooses its
    // driver anew once its last application was released.
    virtual void SelectLocal() {}
    // Keeps the library from writing its own trace output.
    virtual void SetQuiet() = 0;

    // The ten CAPI operations. A missing entry point gives ERR_CAPI_NOT_INSTALLED for Installed and
    // ERR_DLL_NOT_LOADED for the others.
    virtual uint32_t Installed() = 0;
    virtual uint32_t Register(uint32_t messageBufferSize, uint32_t maxLogicalConnection,
                              uint32_t maxBDataBlocks, uint32_t maxBDataLen, uint32_t &applId) = 0;
    virtual uint32_t Release(uint32_t applId) = 0;
    virtual uint32_t PutMessage(uint32_t applId, uint8_t *message) = 0;
    // Copies the next queued message into `buffer` (MessageBufferBytes) and sets `length` to the
    // number of bytes copied. Never blocks: an empty queue gives 0x1104.
    virtual uint32_t GetMessage(uint32_t applId, uint8_t *buffer, std::size_t &length) = 0;
    // The descriptor that becomes readable when a message is queued for the application (or its
    // connection to a remote server ends); -1 when the library offers none. It stays valid until
    // the application is released.
    virtual int FileNo(uint32_t applId) = 0;
    // False when the entry point is missing.
    virtual bool GetProfile(uint32_t controller, std::array<uint8_t, 64> &buffer, uint32_t &result) = 0;
    virtual bool GetManufacturer(uint32_t controller, std::array<char, 132> &buffer) = 0;
    virtual bool GetVersion(uint32_t controller, std::array<uint32_t, 4> &version) = 0;
    virtual bool GetSerialNumber(uint32_t controller, std::array<char, 132> &buffer) = 0;

    // True when the application's connection to a remote CAPI server has reached its end.
    virtual bool ConnectionLost(uint32_t applId) = 0;
    // The NCCIs of the data blocks that the binding dropped unread (their lengths lied, or they
    // exceeded the registered size) since the last call, oldest first. Each one was answered
    // already; the data it carried is lost.
    virtual std::vector<uint32_t> TakeDroppedDataBlocks(uint32_t /*applId*/) { return {}; }

    // The lock around library calls, for code that must read library-owned memory (the data of a
    // DATA_B3_IND) while no release can free it.
    static std::recursive_mutex &LibraryLock();
};

std::unique_ptr<CapiBinding> CreateCapiBinding();

// The file name of the platform's CAPI library ("libcapi20.so.3").
QString CapiLibraryFileName();
