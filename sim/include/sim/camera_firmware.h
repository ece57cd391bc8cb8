// The camera controller's command firmware. A command arrives as the data of a vendor OUT
// control request (0x40, bRequest 0); its answer is fetched by the next vendor IN request
// (0xC0, bRequest 0, 64 bytes).
//
// Answer: 64 bytes, 0xAA, class 0x10 | command class (low nibble), the code, L = 59, the
// command's index, a 58-byte block at bytes 5..62, checksum at byte 63 (0x55 plus the sum of
// bytes 0..62). A block read answers with the block; a control command answers with its own
// payload, zero-padded (a store thus echoes what was stored).
//
// Commands served:
//   (1, 0x71, 0/1, {1|0})   open / close the bracket of camera 0 / 1 around block reads
//   (2, 0x10, 0/1)          CameraParams0 / CameraParams1
//   (2, 0x30, 0)            PanelParams
//   (2, 0x30, 1)            DeviceConfig from non-volatile memory
//   (2, 0x14, 0/1)          CalibPara x / y from non-volatile memory
//   (2, 0x32, 0)            the version block (sim/camera_blocks.h)
//   (1, 0x31, 1, 58 bytes)  store DeviceConfig
//   (1, 0x15, 0/1, 58 bytes) store CalibPara x / y
//
// What goes wrong:
//   - A frame that is not well formed (no 0xAA, L not matching the bytes received, bad
//     checksum) is discarded unanswered: nothing in it can be trusted, the index included.
//     Any answer still waiting is dropped too, so the next IN request stalls.
//   - A well-formed command the firmware does not serve is refused: the answer has class
//     0x20 | command class and block byte 0 = the reason (FirmwareError).
//   - Block reads and stores outside a bracket (either camera's closed) are served anyway, as
//     the controller does not depend on the bracket, and marked in the command log.
//   - An answer not fetched before the next command is lost; an IN request with no answer
//     waiting stalls.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/vendor_command.h"
#include "sim/camera_nvm.h"
#include "sim/camera_panel.h"

namespace ots::sim {

using AnswerPacket = std::array<std::uint8_t, ots::kVendorPacketSize>;

inline constexpr std::uint8_t kAnswerClass = 0x10;
inline constexpr std::uint8_t kRefusalClass = 0x20;

enum class FirmwareError : std::uint8_t {
    UnknownCommand = 0x01,  // class and code not served
    BadLength = 0x02,       // the payload is not as long as the command takes
    BadArgument = 0x03,     // index or argument not served
};

enum class CommandOutcome {
    Answered,       // an answer was queued
    Refused,        // a refusal (class 0x2_) was queued
    AnswerDropped,  // a fault swallowed the answer
    Discarded,      // not a well-formed frame; nothing queued
};

struct CommandRecord {
    double platformMs;                // when it arrived, on the platform clock
    std::vector<std::uint8_t> bytes;  // as received
    CommandOutcome outcome;
    bool outsideBracket;               // a block read or store while a bracket was closed
    std::vector<std::uint8_t> answer;  // what was queued; empty when nothing was
    // "AA 02 30 01 01 33 -> answered", "... -> refused 01", "... -> answer dropped",
    // "... -> discarded"; " (outside bracket)" is added where it applies.
    std::string Text() const;
};

// A fault applies to this many of the next answers; kEveryAnswer makes it apply to all.
inline constexpr int kEveryAnswer = -1;

class CameraFirmware {
  public:
    CameraFirmware(const CameraPanel& panel, std::shared_ptr<CameraNvm> nvm);

    // The data stage of a vendor OUT request.
    void ReceiveCommand(std::span<const std::uint8_t> bytes);

    struct PendingAnswer {
        AnswerPacket bytes;
        double readyAtMs;  // platform clock; an IN request before this waits (the device NAKs)
    };
    // Takes the answer to the last command, if one waits.
    std::optional<PendingAnswer> TakeAnswer();

    bool IsBracketed(int camera) const;

    // Fault switches.
    // Every answer from the fromCommand-th command on (counting from 1 over the log) becomes
    // ready this much later; earlier ones are ready at once.
    void DelayAnswers(double platformMs, std::size_t fromCommand = 1);
    void DropAnswers(int count);
    void EchoWrongIndex(int count);  // the answer carries the command's index + 1
    void AnswerWithClass(std::uint8_t cls, int count);
    void ClearFaults();

    std::vector<CommandRecord> CommandLog() const;
    // One line per command: the arrival time in platform ms, then CommandRecord::Text().
    std::string Transcript() const;
    void ClearCommandLog();

  private:
    class FaultBudget {
      public:
        void Set(int count) { left_ = count; }
        bool Take();

      private:
        int left_ = 0;
    };

    struct Reply {
        CommandOutcome outcome;
        Block block;
        bool outsideBracket;
    };

    Reply Serve(std::uint8_t cls, std::uint8_t code, std::uint8_t index,
                std::span<const std::uint8_t> payload);
    Reply ServeControl(std::uint8_t code, std::uint8_t index,
                       std::span<const std::uint8_t> payload);
    Reply ServeRead(std::uint8_t code, std::uint8_t index, std::span<const std::uint8_t> payload);
    bool BothBracketed() const { return bracket_[0] && bracket_[1]; }
    AnswerPacket Frame(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Reply& reply);

    mutable std::mutex mutex_;
    const Block cameraParams_[2];
    const Block panelParams_;
    const Block version_;
    std::shared_ptr<CameraNvm> nvm_;
    bool bracket_[2] = {false, false};
    std::optional<PendingAnswer> pending_;
    std::vector<CommandRecord> log_;
    double delayMs_ = 0.0;
    std::size_t delayFrom_ = 1;
    FaultBudget drop_;
    FaultBudget wrongIndex_;
    FaultBudget otherClass_;
    std::uint8_t faultClass_ = 0;
};

}  // namespace ots::sim
