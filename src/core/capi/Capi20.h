#pragma once

// TCapi20: call control on top of TCustomCapi20. Listens for incoming calls of the chosen
// services, reports each through OnRing and answers it by the ring result, dials out, brings the
// B3 (data) link up and down and ends calls. One call (one PLCI) at a time and up to four B3
// links. The data moved over a B3 link (DATA_B3) goes through the channel records below.

#include "capi/Capi20b.h"
#include "capi/CapiTypes.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

enum TProtokolB1 : uint16_t
{
    HDLC_64K = 0,
    TRANS_64K,
    V110_ASYNCH,
    V110_SYNCH,
    T30_B1,
    INV_HDLC_64K,
    ADD_56K
};
enum TProtokolB2 : uint16_t
{
    X75 = 0,
    BITTRANS,
    SDLC,
    LAPD,
    T30_B2,
    PPP,
    B2_TRANSPARENT
};
enum TProtokolB3 : uint16_t
{
    B3_TRANSPARENT = 0,
    T90NL,
    ISO8208,
    X25,
    T30_B3
};

// Kinds of information requested from the network; TInfoSet holds bit (1 << member).
// In a namespace of their own: "Display" is also the X11 type that QGuiApplication's platform
// header declares, so that member is named CapiInfoMembers::Display.
namespace CapiInfoMembers {
enum TCapiInfo : uint8_t
{
    Gebuehren = 0,
    DatumZeit,
    Display,
    UserToUser,
    Facilities,
    DisconnectCause,
    RufStatus,
    CalledNumber
};
} // namespace CapiInfoMembers
using CapiInfoMembers::CalledNumber;
using CapiInfoMembers::DatumZeit;
using CapiInfoMembers::DisconnectCause;
using CapiInfoMembers::Facilities;
using CapiInfoMembers::Gebuehren;
using CapiInfoMembers::RufStatus;
using CapiInfoMembers::TCapiInfo;
using CapiInfoMembers::UserToUser;
using TInfoSet = uint32_t;
constexpr TInfoSet InfoSetOf(std::initializer_list<TCapiInfo> members)
{
    TInfoSet set = 0;
    for (TCapiInfo m : members)
        set |= TInfoSet(1) << m;
    return set;
}

// The step of a file transfer reported to the owner.
enum TTransferBlock : uint8_t
{
    tbFileName = 0,
    tbFileSize,
    tbFileData,
    tbFileEnd,
    tbFileError
};

// The whole percentage of a transfer's progress, 0 to 100, for any sizes (a file with no bytes
// announced counts as complete).
int TransferPercent(int64_t Progress, int64_t Size);

uint32_t InfoMaskOf(TInfoSet infos);

// A ring of B3 channel numbers whose CONNECT_B3_REQ awaits its confirmation. Holds at most
// capacity - 1 entries; pushing onto a full ring drops the oldest.
class TFiFoBuffer
{
public:
    explicit TFiFoBuffer(int capacity);
    void Push(int value);
    int Pop(); // -1 when empty
    void Flush();
    int Capacity() const { return m_capacity; }

private:
    std::array<int, 128> m_items{};
    int m_capacity;
    int m_write = 0;
    int m_read = 0;
};

// One B3 link's bookkeeping and buffers (channels are numbered 1 to 4).
struct B3ReceiveEntry
{
    uint16_t DataHandle = 0;
    int Length = 0;
    int ReadOffset = 0;
    std::vector<uint8_t> Data;
};
struct B3TransmitEntry
{
    uint16_t DataHandle = 0;
    int Length = 0;
    int State = 0; // 0 free, 1 filled and waiting, 2 put and waiting for its confirmation
    std::vector<uint8_t> Data;
};
struct B3Channel
{
    bool InUse = false;
    int NCCI = -1;
    int Outstanding = 0;
    int UnreadBytes = 0;
    int QueuedBytes = 0;
    // Data blocks that CAPI refused: a put that failed, or a confirmation with an error.
    int RefusedBlocks = 0;
    int ReceiveWrite = 1, ReceiveRead = 1, TransmitFill = 1, TransmitSend = 1;
    int BufferSize = 0;
    int Buffers = 0;
    std::array<B3ReceiveEntry, 4> Receive;
    std::array<B3TransmitEntry, 4> Transmit;
};

class TCapi20;
using TCapiDisconnectEvent = std::function<void(TCapi20 *Sender, uint32_t Grund)>;
using TCapiBDisconnectEvent = std::function<void(TCapi20 *Sender, int NCCI, uint32_t Grund)>;
using TCapiRingEvent = std::function<uint32_t(TCapi20 *Sender, const TCallDaten &CallDaten)>;
using TCapiCallEndedEvent = std::function<void(TCapi20 *Sender, uint32_t Plci, uint16_t Reason)>;
using TCapiConnectEvent = std::function<void(TCapi20 *Sender)>;
using TCapiRequestBConnectEvent = std::function<bool(TCapi20 *Sender)>;
using TCapiInfoEvent = std::function<void(TCapi20 *Sender, uint32_t Info, CapiParameterType &InfoDaten)>;
using TCapiBConnectEvent = std::function<void(TCapi20 *Sender, int NCCI)>;
using TCapiSendEvent = std::function<void(TCapi20 *Sender, int NCCI)>;
using TCapiReceiveEvent = std::function<void(TCapi20 *Sender, int NCCI, const char *Data, uint32_t Count)>;
// FileSize and FileProgress are 64-bit: a file of any size reports its true figures.
using TCapiSendFileEvent = std::function<void(TCapi20 *Sender, const QString &Filename, int64_t FileSize,
                                              int64_t FileProgress, TTransferBlock FileBlock)>;
using TCapiReceiveFileListEvent = std::function<void(TCapi20 *Sender, const QString &Item)>;
// A transfer that failed or was refused: the file concerned (as far as it is known) and the
// error number (CapiErrors.h, ERR_TRANSFER_*); the same number also goes to OnError.
using TCapiTransferErrorEvent =
    std::function<void(TCapi20 *Sender, const QString &Filename, uint32_t ErrorNumber)>;

class FileTransfer;

class TCapi20 : public TCustomCapi20
{
public:
    TCapi20();
    explicit TCapi20(std::unique_ptr<CapiBinding> binding);
    ~TCapi20() override;

    // ---- properties ----
    TProtokolB1 B1Protokol = HDLC_64K;
    TProtokolB2 B2Protokol = X75;
    TProtokolB3 B3Protokol = B3_TRANSPARENT;
    int Buffers() const { return m_buffers; }
    void SetBuffers(int value);
    int BufferSize() const { return m_bufferSize; }
    void SetBufferSize(int value); // a new value is cut to BDataBlockSize
    TInfoSet Infos() const { return m_infos; }
    void SetInfos(TInfoSet value); // repeats Listen while registered
    uint32_t InfoMask() const { return m_infoMask; }
    QString OwnNumber() const { return m_ownNumber.ToString(); }
    void SetOwnNumber(const QString &value) { m_ownNumber = TCallNumber::FromString(value); }
    int Controller = 1;
    bool AutoBConnect = true;
    QString ReceivePath;
    QString SendPath;
    // The largest file this side receives, in bytes; 0 for no cap (the free space still limits).
    std::atomic<int64_t> MaxReceiveSize{0};

    // ---- events ----
    TCapiDisconnectEvent OnDisconnect;
    TCapiBDisconnectEvent OnBDisconnect;
    TCapiRingEvent OnRing; // runs in the main thread
    // The end of any call the network told this application of (its DISCONNECT_IND), ours or
    // not, with the network's reason (0x349A: another telephone took it). Runs in the main
    // thread, after the component has answered the indication.
    TCapiCallEndedEvent OnCallEnded;
    TCapiConnectEvent OnConnect;
    TCapiRequestBConnectEvent OnRequestBConnect;
    TCapiBConnectEvent OnBConnect; // runs in the main thread
    TCapiReceiveEvent OnReceive;
    TCapiSendEvent OnSend;
    TCapiInfoEvent OnInfo;
    TCapiMessageEvent OnMessage;
    TCapiSendFileEvent OnSendFile;
    TCapiSendFileEvent OnReceiveFile;
    TCapiReceiveFileListEvent OnReceiveFileList;
    TCapiTransferErrorEvent OnTransferError;

    // ---- call bookkeeping ----
    uint8_t CallState() const { return m_callState; } // 0 idle, 1 setting up, 2 connected, 3 B3 active
    uint8_t CallDirection() const { return m_callDirection; } // 0 none, 1 outgoing, 2 incoming answered
    int PLCI() const { return m_plci; }
    int PendingMsgID() const { return m_pendingMsgId; }
    int PendingPLCI() const { return m_pendingPlci; } // the PLCI of the unanswered incoming call
    bool ConnectConfirmed() const { return m_connectConfirmed; }
    int B3Count() const { return m_b3Count; }
    int CurrentNCCI() const { return m_currentNcci; }
    uint8_t Service() const { return m_service; }
    uint16_t ServiceMask() const { return m_serviceMask; }
    uint32_t ReasonB3() const { return m_reasonB3; }
    // A copy of channel `number` (1 to 4).
    B3Channel Channel(int number) const;

    // ---- operations ----
    void Listen(uint16_t ServiceMask);
    bool Dial(const QString &Number, const QString &Unused, uint8_t Service);
    bool Answer(uint16_t Reject);
    bool ConnectB3();
    bool DisconnectB3(int NCCI);
    bool Disconnect(int Unused = 1);

    // ---- data path and file transfer (the transfer protocol is FileTransfer's) ----
    // Puts `Count` bytes on the link as blocks of at most BufferSize bytes, at most two of them
    // unconfirmed; waits (processing messages) while every transmit entry is taken. Returns
    // Count when the link existed at the start (bytes left when it goes down meanwhile are
    // dropped), 0 when no channel holds the NCCI. When no entry comes free for 30 s (no
    // confirmation), ERR_SEND_TIMEOUT is raised and the bytes put so far are returned.
    int SendData(int NCCI, const void *Data, int Count);
    // Copies at most `Count` unread bytes of one receive entry; returns the number copied.
    int ReceiveData(int NCCI, void *Buffer, int Count);
    // Sends the file at `Path` on CurrentNCCI (name, size, data and end frames) and returns when
    // it is done; nothing when no file is there. Transfers of one component never mix: on the
    // message thread a send that has to wait for another one is queued, elsewhere it waits.
    void SendFile(const QString &Path);
    // Sends one list entry frame per plain file directly in SendPath.
    void SendFileList();
    // Kind 0: asks for the file list (with Text); kind 1: asks for the file named Text.
    void SendCommand(uint8_t Kind, const QString &Text);

protected:
    void BeforeRelease() override;
    void HandleMessage(uint32_t CommandID, uint32_t SubCommand, IndicationDatenType &Daten,
                       uint32_t MsgID) override;

    // Channel records (numbers 1 to 4); all under the channel lock.
    int AllocateChannel();           // lowest free channel, or -1
    int FindChannel(int NCCI) const; // channel holding the NCCI, or -1
    void FreeChannel(int NCCI);
    void FreeAllChannels();

    // The data path of a B3 link: a received block is stored in its channel's receive ring
    // (true when a channel took it), answered, and then handled by HandleReceivedBlock; a
    // confirmation frees its transmit entry and lets the next block go.
    virtual bool HandleDataB3Ind(const Capi::DataB3Indication &Block);
    // A block dropped on the way: the file being received on its link fails.
    void HandleDroppedDataBlock(uint32_t NCCI) override;
    virtual void HandleDataB3Conf(int NCCI, uint16_t Handle, uint16_t Info);
    virtual void HandleReceivedBlock(int NCCI);

    mutable std::recursive_mutex m_channelLock;
    std::array<B3Channel, 4> m_channels;

private:
    void HandleConfirmation(uint32_t command, IndicationDatenType &daten);
    bool HandleIndication(uint32_t command, IndicationDatenType &daten, uint32_t msgId);
    void Ring(IndicationDatenType &daten, uint32_t msgId);
    void ConnectActive(IndicationDatenType &daten, uint32_t msgId);
    void DisconnectIndication(IndicationDatenType &daten, uint32_t msgId);
    void ReportCallEnded(uint32_t plci, uint16_t reason);
    void ConnectB3Indication(IndicationDatenType &daten, uint32_t msgId);
    void ConnectB3Active(IndicationDatenType &daten, uint32_t msgId);
    void DisconnectB3Indication(IndicationDatenType &daten, uint32_t msgId);
    bool AnswerUnhandled(uint32_t command, IndicationDatenType &daten, uint32_t msgId);
    // True when a call of ours other than `plci` exists: one being dialled, or one with a PLCI
    // that is being set up or connected.
    bool OwnCallBesides(uint32_t plci) const;
    void Report(uint32_t command, uint16_t info);
    std::vector<int> ChannelNccis() const;

    // Data path (Capi20.cpp).
    void SendNextBlock(int NCCI);
    bool LinkHolds(int NCCI) const;
    int FrameCapacity(int NCCI) const;
    int64_t QueuedBytes(int NCCI) const;
    int RefusedBlocks(int NCCI) const;

    int m_buffers = 2;
    int m_bufferSize = 2048;
    TInfoSet m_infos = 0;
    uint32_t m_infoMask = 0;
    TCallNumber m_ownNumber;

    std::atomic<uint8_t> m_callState{0};
    std::atomic<uint8_t> m_callDirection{0};
    std::atomic<int> m_plci{-1};
    std::atomic<int> m_pendingMsgId{-1};
    std::atomic<int> m_pendingPlci{-1};
    std::atomic<bool> m_connectConfirmed{false};
    std::atomic<bool> m_dialing{false}; // Dial waits for its confirmation
    std::atomic<int> m_b3Count{0};
    std::atomic<int> m_currentNcci{-1};
    std::atomic<uint8_t> m_service{8};
    std::atomic<uint16_t> m_serviceMask{0};
    std::atomic<uint32_t> m_reasonB3{0};
    TFiFoBuffer m_fifo{128};
    TCallDaten m_ringDaten;
    // The file-transfer protocol on the B3 links (Transfer.cpp).
    std::unique_ptr<FileTransfer> m_transfer;
    // It sends through the data path above and reports through the events.
    friend class FileTransfer;
};
