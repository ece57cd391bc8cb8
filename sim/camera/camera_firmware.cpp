#include "sim/camera_firmware.h"

#include <algorithm>
#include <cstdio>

#include "ce/host/clock.h"
#include "protocol/vendor_command.h"

namespace ots::sim {

namespace {
constexpr std::size_t kClassAt = 1;
constexpr std::size_t kIndexAt = 4;
constexpr std::size_t kChecksumAt = ots::kVendorPacketSize - 1;
constexpr std::uint8_t kBracketOpen = 1;
constexpr std::uint8_t kBracketClosed = 0;

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char pair[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", unsigned{b});
        if (!text.empty()) {
            text += ' ';
        }
        text += pair;
    }
    return text;
}

Block Refusal(FirmwareError error) {
    Block block{};
    block[0] = static_cast<std::uint8_t>(error);
    return block;
}

Block Echo(std::span<const std::uint8_t> payload) {
    Block block{};
    std::copy_n(payload.begin(), std::min(payload.size(), block.size()), block.begin());
    return block;
}

Block ToBlock(std::span<const std::uint8_t> payload) {
    Block block{};
    std::copy_n(payload.begin(), block.size(), block.begin());
    return block;
}

void Reseal(AnswerPacket& packet) {
    packet[kChecksumAt] =
        ots::VendorChecksum(std::span<const std::uint8_t>(packet).first(kChecksumAt));
}
}  // namespace

std::string CommandRecord::Text() const {
    std::string text = Hex(bytes) + " -> ";
    switch (outcome) {
        case CommandOutcome::Answered:
            text += "answered";
            break;
        case CommandOutcome::Refused: {
            char reason[16];
            std::snprintf(reason, sizeof reason, "refused %02X",
                          answer.size() > ots::kVendorBlockOffset
                              ? unsigned{answer[ots::kVendorBlockOffset]}
                              : 0u);
            text += reason;
            break;
        }
        case CommandOutcome::AnswerDropped:
            text += "answer dropped";
            break;
        case CommandOutcome::Discarded:
            text += "discarded";
            break;
    }
    if (outsideBracket) {
        text += " (outside bracket)";
    }
    return text;
}

bool CameraFirmware::FaultBudget::Take() {
    if (left_ == kEveryAnswer) {
        return true;
    }
    if (left_ > 0) {
        --left_;
        return true;
    }
    return false;
}

CameraFirmware::CameraFirmware(const CameraPanel& panel, std::shared_ptr<CameraNvm> nvm)
    : cameraParams_{EncodeCameraParams(panel.camera0), EncodeCameraParams(panel.camera1)},
      panelParams_(EncodePanelParams(panel.panel)),
      version_(EncodeVersionBlock(panel.version)),
      nvm_(nvm ? std::move(nvm) : std::make_shared<CameraNvm>()) {}

void CameraFirmware::ReceiveCommand(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    CommandRecord record{ce::host::PlatformNowMs(),
                         {bytes.begin(), bytes.end()},
                         CommandOutcome::Discarded,
                         false,
                         {}};
    pending_.reset();
    const int n = ots::ValidateFrame(bytes);
    if (n < 0 || static_cast<std::size_t>(n) + ots::kFrameOverhead != bytes.size()) {
        log_.push_back(std::move(record));
        return;
    }
    const ots::FrameHeader header = ots::ReadFrameHeader(bytes);
    const Reply reply = Serve(header.cls, header.code, header.index,
                              bytes.subspan(ots::kFrameHeaderSize, static_cast<std::size_t>(n)));
    record.outcome = reply.outcome;
    record.outsideBracket = reply.outsideBracket;
    if (drop_.Take()) {
        record.outcome = CommandOutcome::AnswerDropped;
    } else {
        const AnswerPacket answer = Frame(header.cls, header.code, header.index, reply);
        record.answer.assign(answer.begin(), answer.end());
        const double delayMs = log_.size() + 1 >= delayFrom_ ? delayMs_ : 0.0;
        pending_ = PendingAnswer{answer, record.platformMs + delayMs};
    }
    log_.push_back(std::move(record));
}

CameraFirmware::Reply CameraFirmware::Serve(std::uint8_t cls, std::uint8_t code, std::uint8_t index,
                                            std::span<const std::uint8_t> payload) {
    switch (cls) {
        case ots::kClassControl:
            return ServeControl(code, index, payload);
        case ots::kClassReadBlock:
            return ServeRead(code, index, payload);
        default:
            return Reply{CommandOutcome::Refused, Refusal(FirmwareError::UnknownCommand), false};
    }
}

CameraFirmware::Reply CameraFirmware::ServeControl(std::uint8_t code, std::uint8_t index,
                                                   std::span<const std::uint8_t> payload) {
    const auto refuse = [](FirmwareError error) {
        return Reply{CommandOutcome::Refused, Refusal(error), false};
    };
    switch (code) {
        case ots::kCodeBracket:
            if (payload.size() != 1) {
                return refuse(FirmwareError::BadLength);
            }
            if (index > 1 || (payload[0] != kBracketOpen && payload[0] != kBracketClosed)) {
                return refuse(FirmwareError::BadArgument);
            }
            bracket_[index] = payload[0] == kBracketOpen;
            return Reply{CommandOutcome::Answered, Echo(payload), false};
        case ots::kCodeStoreDeviceConfig:
            if (payload.size() != kBlockSize) {
                return refuse(FirmwareError::BadLength);
            }
            if (index != 1) {
                return refuse(FirmwareError::BadArgument);
            }
            nvm_->StoreDeviceConfig(ToBlock(payload));
            return Reply{CommandOutcome::Answered, Echo(payload), !BothBracketed()};
        case ots::kCodeStoreCalibration:
            if (payload.size() != kBlockSize) {
                return refuse(FirmwareError::BadLength);
            }
            if (index > 1) {
                return refuse(FirmwareError::BadArgument);
            }
            nvm_->StoreCalibration(index, ToBlock(payload));
            return Reply{CommandOutcome::Answered, Echo(payload), !BothBracketed()};
        default:
            return refuse(FirmwareError::UnknownCommand);
    }
}

CameraFirmware::Reply CameraFirmware::ServeRead(std::uint8_t code, std::uint8_t index,
                                                std::span<const std::uint8_t> payload) {
    const auto refuse = [](FirmwareError error) {
        return Reply{CommandOutcome::Refused, Refusal(error), false};
    };
    const auto serve = [this](const Block& block) {
        return Reply{CommandOutcome::Answered, block, !BothBracketed()};
    };
    const bool known = code == ots::kCodeCameraParams || code == ots::kCodePanelBlock ||
                       code == ots::kCodeCalibration || code == ots::kCodeVersion;
    if (!known) {
        return refuse(FirmwareError::UnknownCommand);
    }
    if (!payload.empty()) {
        return refuse(FirmwareError::BadLength);
    }
    const std::uint8_t lastIndex = code == ots::kCodeVersion ? 0 : 1;
    if (index > lastIndex) {
        return refuse(FirmwareError::BadArgument);
    }
    switch (code) {
        case ots::kCodeCameraParams:
            return serve(cameraParams_[index]);
        case ots::kCodePanelBlock:
            return serve(index == 0 ? panelParams_ : nvm_->DeviceConfig());
        case ots::kCodeCalibration:
            return serve(nvm_->Calibration(index));
        default:
            return serve(version_);
    }
}

AnswerPacket CameraFirmware::Frame(std::uint8_t cls, std::uint8_t code, std::uint8_t index,
                                   const Reply& reply) {
    const std::uint8_t family =
        reply.outcome == CommandOutcome::Refused ? kRefusalClass : kAnswerClass;
    AnswerPacket packet{};
    ots::BuildVendorCommand(static_cast<std::uint8_t>(family | (cls & 0x0F)), code, index,
                            reply.block.data(), reply.block.size(), packet);
    if (wrongIndex_.Take()) {
        packet[kIndexAt] = static_cast<std::uint8_t>(index + 1);
    }
    if (otherClass_.Take()) {
        packet[kClassAt] = faultClass_;
    }
    Reseal(packet);
    return packet;
}

std::optional<CameraFirmware::PendingAnswer> CameraFirmware::TakeAnswer() {
    std::lock_guard lock(mutex_);
    std::optional<PendingAnswer> answer = pending_;
    pending_.reset();
    return answer;
}

bool CameraFirmware::IsBracketed(int camera) const {
    std::lock_guard lock(mutex_);
    return camera >= 0 && camera <= 1 && bracket_[camera];
}

void CameraFirmware::DelayAnswers(double platformMs, std::size_t fromCommand) {
    std::lock_guard lock(mutex_);
    delayMs_ = std::max(0.0, platformMs);
    delayFrom_ = fromCommand;
}

void CameraFirmware::DropAnswers(int count) {
    std::lock_guard lock(mutex_);
    drop_.Set(count);
}

void CameraFirmware::EchoWrongIndex(int count) {
    std::lock_guard lock(mutex_);
    wrongIndex_.Set(count);
}

void CameraFirmware::AnswerWithClass(std::uint8_t cls, int count) {
    std::lock_guard lock(mutex_);
    faultClass_ = cls;
    otherClass_.Set(count);
}

void CameraFirmware::ClearFaults() {
    std::lock_guard lock(mutex_);
    delayMs_ = 0.0;
    delayFrom_ = 1;
    drop_.Set(0);
    wrongIndex_.Set(0);
    otherClass_.Set(0);
}

std::vector<CommandRecord> CameraFirmware::CommandLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::string CameraFirmware::Transcript() const {
    std::lock_guard lock(mutex_);
    std::string text;
    char stamp[32];
    for (const CommandRecord& record : log_) {
        std::snprintf(stamp, sizeof stamp, "%10.1f ms  ", record.platformMs);
        text += stamp + record.Text() + "\n";
    }
    return text;
}

void CameraFirmware::ClearCommandLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

}  // namespace ots::sim
