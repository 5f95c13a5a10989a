#pragma once

// Test-side handle on the fake libcapi20 (tests/capi/fake): loads the same file the component
// binds, so both see one state.

#include "capi/CapiCodec.h"

#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <dlfcn.h>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class FakeCapi
{
public:
    explicit FakeCapi(const char *path = FAKE_CAPI_PATH) : m_path(path)
    {
        m_handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr)
            throw std::runtime_error(std::string("cannot load the fake CAPI: ") + dlerror());
        resolve(reset, "fake_reset");
        resolve(setInstalled, "fake_set_installed");
        resolve(setRegisterResult, "fake_set_register_result");
        resolve(setPutResult, "fake_set_put_result");
        resolve(registerUnanswered, "fake_register_unanswered");
        resolve(setProfile, "fake_set_profile");
        resolve(setInfo, "fake_set_info");
        resolve(m_push, "fake_push");
        resolve(m_pushData, "fake_push_data_b3_ind");
        resolve(m_autoReply, "fake_auto_reply");
        resolve(loseConnection, "fake_lose_connection");
        resolve(putCount, "fake_put_count");
        resolve(m_putAt, "fake_put_at");
        resolve(m_counter, "fake_counter");
        resolve(m_log, "fake_log");
        reset();
    }
    ~FakeCapi() { dlclose(m_handle); }
    QString Path() const { return QString::fromUtf8(m_path); }

    void (*reset)() = nullptr;
    void (*setInstalled)(unsigned) = nullptr;
    void (*setRegisterResult)(unsigned) = nullptr;
    void (*setPutResult)(unsigned) = nullptr;
    // The next registration waits for a remote server that never answers (see the fake).
    void (*registerUnanswered)(int descriptor) = nullptr;
    void (*setProfile)(const unsigned char *) = nullptr;
    // manufacturer, serial number, the four version numbers
    void (*setInfo)(const char *, const char *, const unsigned *) = nullptr;
    void (*loseConnection)() = nullptr;
    unsigned (*putCount)() = nullptr;

    void Push(const Bytes &message) { m_push(message.data(), unsigned(message.size())); }
    void PushDataB3Ind(uint32_t ncci, uint16_t handle, const Bytes &data, uint16_t msgNumber)
    {
        m_pushData(ncci, handle, data.data(), unsigned(data.size()), msgNumber);
    }
    void AutoReply(uint8_t command, uint8_t subCommand, const Bytes &reply)
    {
        m_autoReply(command, subCommand, reply.data(), unsigned(reply.size()));
    }
    Bytes Put(unsigned index) const
    {
        Bytes out(4096);
        out.resize(m_putAt(index, out.data(), unsigned(out.size())));
        return out;
    }
    std::vector<Bytes> Puts() const
    {
        std::vector<Bytes> all;
        for (unsigned i = 0, n = putCount(); i < n; ++i)
            all.push_back(Put(i));
        return all;
    }
    // The puts with this command and subcommand.
    std::vector<Bytes> PutsOf(uint8_t command, uint8_t subCommand) const
    {
        std::vector<Bytes> found;
        for (const Bytes &m : Puts())
            if (m.size() >= 6 && m[4] == command && m[5] == subCommand)
                found.push_back(m);
        return found;
    }
    int Counter(const char *name) const { return m_counter(name); }
    std::string Log() const
    {
        char buffer[8192];
        m_log(buffer, sizeof buffer);
        return buffer;
    }

private:
    template<typename Fn> void resolve(Fn &fn, const char *name)
    {
        fn = reinterpret_cast<Fn>(dlsym(m_handle, name));
        if (fn == nullptr)
            throw std::runtime_error(std::string("fake CAPI lacks ") + name);
    }

    const char *m_path;
    void *m_handle = nullptr;
    void (*m_push)(const unsigned char *, unsigned) = nullptr;
    void (*m_pushData)(unsigned, unsigned, const unsigned char *, unsigned, unsigned) = nullptr;
    void (*m_autoReply)(unsigned, unsigned, const unsigned char *, unsigned) = nullptr;
    unsigned (*m_putAt)(unsigned, unsigned char *, unsigned) = nullptr;
    int (*m_counter)(const char *) = nullptr;
    unsigned (*m_log)(char *, unsigned) = nullptr;
};

// A message for the fake to hand out: header (ApplID filled in by the fake) and parameters.
inline Bytes Message(uint8_t command, uint8_t subCommand, uint16_t msgNumber, const Bytes &params)
{
    Bytes m = {0, 0, 0, 0, command, subCommand, uint8_t(msgNumber), uint8_t(msgNumber >> 8)};
    m.insert(m.end(), params.begin(), params.end());
    m[0] = uint8_t(m.size());
    m[1] = uint8_t(m.size() >> 8);
    return m;
}

inline Bytes Le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Pushes a message and waits until the component's thread has handled it: a marker confirmation
// pushed behind it has reached OnMessage (which this replaces meanwhile).
template<typename Component> bool DeliverTo(FakeCapi &fake, Component &capi, const Bytes &message)
{
    std::atomic<bool> seen{false};
    capi.OnMessage = [&](auto *, uint32_t c, uint32_t s, uint32_t m, IndicationDatenType &) {
        if (c == 0x77 && s == 0x81 && m == 0xBEEF)
            seen = true;
    };
    fake.Push(message);
    fake.Push(Message(0x77, 0x81, 0xBEEF, Le32(0)));
    const bool handled = WaitUntil([&] { return seen.load(); });
    capi.OnMessage = nullptr;
    return handled;
}

// The header a put should carry.
inline Bytes Header(uint16_t length, uint16_t applId, uint8_t command, uint8_t subCommand, uint16_t msgNumber)
{
    return {uint8_t(length), uint8_t(length >> 8), uint8_t(applId),    uint8_t(applId >> 8),
            command,         subCommand,           uint8_t(msgNumber), uint8_t(msgNumber >> 8)};
}
