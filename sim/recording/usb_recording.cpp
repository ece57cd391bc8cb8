#include "sim/usb_recording.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>

#include "protocol/bytes.h"
#include "sim/standard_requests.h"

namespace ots::sim {
namespace {

constexpr BYTE kDirectionIn = 0x80;
constexpr std::size_t kBytesPerGroup = 4;  // hex data in groups of four bytes, as usbmon shows it

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2 + bytes.size() / kBytesPerGroup);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += (i != 0 && i % kBytesPerGroup == 0 ? " " : "") + std::string(pair);
    }
    return text;
}

std::string Stamp(double platformMs) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", platformMs);
    return text;
}

std::string Pipe(char kind, bool in, BYTE endpoint) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%c:%02x", kind, in ? 'i' : 'o', endpoint);
    return text;
}

std::string WithData(std::string line, std::span<const std::uint8_t> data) {
    return data.empty() ? line + "\n" : line + " = " + Hex(data) + "\n";
}

template <typename T>
std::optional<T> Number(std::string_view text, int base = 10) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> Time(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0.0) {
        return std::nullopt;
    }
    return value;
}

// Reads the words of one line in turn; an error names what was expected.
class Words {
  public:
    explicit Words(std::string_view line) {
        std::istringstream in{std::string(line)};
        for (std::string word; in >> word;) {
            words_.push_back(word);
        }
    }
    bool Done() const { return at_ == words_.size(); }
    std::optional<std::string> Next() {
        return at_ < words_.size() ? std::optional(words_[at_++]) : std::nullopt;
    }
    template <typename T>
    std::optional<T> Hex() {
        const auto word = Next();
        return word ? Number<T>(*word, 16) : std::nullopt;
    }
    // "= aabbccdd ..." to the end of the line; no '=' is no data.
    std::optional<Bytes> Data() {
        Bytes data;
        if (Done()) {
            return data;
        }
        if (*Next() != "=") {
            return std::nullopt;
        }
        return Rest();
    }
    // Hex bytes to the end of the line.
    std::optional<Bytes> Rest() {
        Bytes data;
        for (auto word = Next(); word; word = Next()) {
            if (word->size() % 2 != 0) {
                return std::nullopt;
            }
            for (std::size_t i = 0; i < word->size(); i += 2) {
                const auto byte = Number<std::uint8_t>(std::string_view(*word).substr(i, 2), 16);
                if (!byte) {
                    return std::nullopt;
                }
                data.push_back(*byte);
            }
        }
        return data;
    }

  private:
    std::vector<std::string> words_;
    std::size_t at_ = 0;
};

std::optional<USB_DEVICE_DESCRIPTOR> DeviceFrom(const Bytes& b) {
    if (b.size() != kDeviceDescriptorLength || b[0] != kDeviceDescriptorLength ||
        b[1] != kDeviceDescriptorType) {
        return std::nullopt;
    }
    return USB_DEVICE_DESCRIPTOR{b[0],  b[1],  LoadU16(b, 2), b[4],           b[5],
                                 b[6],  b[7],  LoadU16(b, 8), LoadU16(b, 10), LoadU16(b, 12),
                                 b[14], b[15], b[16],         b[17]};
}

// The interfaces and endpoints of a configuration descriptor; other descriptors are skipped.
std::optional<std::vector<ce::host::UsbInterfaceModel>> InterfacesFrom(const Bytes& b) {
    if (b.size() < kConfigurationLength || b[0] != kConfigurationLength ||
        b[1] != kConfigurationDescriptorType || LoadU16(b, 2) != b.size()) {
        return std::nullopt;
    }
    std::vector<ce::host::UsbInterfaceModel> interfaces;
    for (std::size_t at = kConfigurationLength; at < b.size(); at += b[at]) {
        const std::size_t length = b[at];
        if (length < 2 || at + length > b.size()) {
            return std::nullopt;
        }
        if (b[at + 1] == kInterfaceDescriptorType && length >= kInterfaceLength) {
            interfaces.push_back(
                {USB_INTERFACE_DESCRIPTOR{b[at], b[at + 1], b[at + 2], b[at + 3], b[at + 4],
                                          b[at + 5], b[at + 6], b[at + 7], b[at + 8]},
                 {}});
        } else if (b[at + 1] == kEndpointDescriptorType && length >= kEndpointLength) {
            if (interfaces.empty()) {
                return std::nullopt;
            }
            interfaces.back().endpoints.push_back(USB_ENDPOINT_DESCRIPTOR{
                b[at], b[at + 1], b[at + 2], b[at + 3], LoadU16(b, at + 4), b[at + 6]});
        }
    }
    return interfaces;
}

// One recording being read; Line() takes each line in turn and says what is wrong with it.
class Reader {
  public:
    std::string Line(std::string_view line) {
        Words words(line);
        const auto first = words.Next();
        if (!first || first->front() == '#') {
            return {};
        }
        if (*first == "D") {
            return Descriptor(words);
        }
        const auto ms = Time(*first);
        const auto kind = words.Next();
        const auto pipe = words.Next();
        if (!ms || !kind) {
            return "expected a timestamp and S, C or E";
        }
        if (*kind == "E") {
            return MouseEvent(*ms, pipe, words);
        }
        if (!pipe || pipe->size() != 5 || (*pipe)[2] != ':') {
            return "expected a pipe such as Ci:00 or Ii:81";
        }
        const auto endpoint = Number<BYTE>(pipe->substr(3), 16);
        const std::string type = pipe->substr(0, 2);
        if (*kind == "S" && (type == "Ci" || type == "Co") && endpoint == 0) {
            return ControlStart(words, type == "Ci");
        }
        if (*kind == "C" && (type == "Ci" || type == "Co") && endpoint == 0) {
            return ControlEnd(*ms, words, type == "Ci");
        }
        if (*kind == "C" && type == "Ii" && endpoint) {
            return Packet(*ms, *endpoint, words);
        }
        return "expected S or C of a control request on pipe 00, or C of an interrupt IN pipe";
    }

    std::string Finish() {
        if (pending_) {
            return "the last request never completed";
        }
        return haveDevice_ && haveConfig_ ? std::string() : "the descriptors (D lines) are missing";
    }

    UsbRecording recording;

  private:
    std::string Descriptor(Words& words) {
        const auto which = words.Next();
        const auto data = words.Rest();
        if (which == std::optional<std::string>("device") && data) {
            const auto device = DeviceFrom(*data);
            recording.device = device.value_or(USB_DEVICE_DESCRIPTOR{});
            haveDevice_ = device.has_value();
            return haveDevice_ ? std::string() : "not a device descriptor";
        }
        if (which == std::optional<std::string>("config") && data) {
            auto interfaces = InterfacesFrom(*data);
            recording.interfaces = interfaces.value_or(std::vector<ce::host::UsbInterfaceModel>{});
            haveConfig_ = interfaces.has_value();
            return haveConfig_ ? std::string() : "not a configuration descriptor";
        }
        return "expected D device = ... or D config = ...";
    }

    std::string ControlStart(Words& words, bool in) {
        if (pending_) {
            return "a request before the last one completed";
        }
        if (words.Next() != std::optional<std::string>("s")) {
            return "expected 's' and the setup packet";
        }
        const auto type = words.Hex<BYTE>();
        const auto request = words.Hex<BYTE>();
        const auto value = words.Hex<WORD>();
        const auto index = words.Hex<WORD>();
        const auto length = words.Hex<WORD>();
        const auto count = words.Next();
        const auto sent = words.Data();
        if (!type || !request || !value || !index || !length || !count || !sent ||
            ((*type & kDirectionIn) != 0) != in || Number<std::size_t>(*count) != sent->size() ||
            (in && !sent->empty()) || sent->size() > *length) {
            return "expected a setup packet, the length sent and its data";
        }
        RecordedControl control;
        control.setup = {*type, *request, *value, *index, *length};
        control.sent = *sent;
        pending_ = control;
        return {};
    }

    std::string ControlEnd(double ms, Words& words, bool in) {
        if (!pending_ || ((pending_->setup.bmRequestType & kDirectionIn) != 0) != in) {
            return "a completion without its request";
        }
        const auto status = words.Next();
        const auto count = words.Next();
        const auto received = words.Data();
        const auto error = status ? Number<DWORD>(*status) : std::nullopt;
        const auto length = count ? Number<std::size_t>(*count) : std::nullopt;
        if (!error || !length || !received || (in && *length != received->size()) ||
            (!in && !received->empty()) || *length > pending_->setup.wLength) {
            return "expected the status, the length and the data received";
        }
        pending_->usbError = *error;
        pending_->transferred = static_cast<DWORD>(*length);
        pending_->received = *received;
        recording.events.push_back({ms, *pending_});
        pending_.reset();
        return {};
    }

    std::string Packet(double ms, BYTE endpoint, Words& words) {
        const auto status = words.Next();
        const auto count = words.Next();
        const auto data = words.Data();
        const auto error = status ? Number<DWORD>(*status) : std::nullopt;
        if (!error || !count || !data || Number<std::size_t>(*count) != data->size() ||
            (endpoint & kDirectionIn) == 0) {
            return "expected the status, the length and the packet";
        }
        recording.events.push_back({ms, RecordedPacket{endpoint, *error, *data}});
        return {};
    }

    std::string MouseEvent(double ms, const std::optional<std::string>& flags, Words& words) {
        const auto bits = flags ? Number<DWORD>(*flags, 16) : std::nullopt;
        const auto dx = words.Next();
        const auto dy = words.Next();
        const auto x = dx ? Number<DWORD>(*dx) : std::nullopt;
        const auto y = dy ? Number<DWORD>(*dy) : std::nullopt;
        if (!bits || !x || !y || !words.Done()) {
            return "expected the flags (hex), dx and dy of a mouse event";
        }
        recording.events.push_back({ms, RecordedMouseEvent{*bits, *x, *y}});
        return {};
    }

    std::optional<RecordedControl> pending_;
    bool haveDevice_ = false;
    bool haveConfig_ = false;
};

}  // namespace

std::vector<RecordedMouseEvent> MouseEventsOf(const UsbRecording& recording) {
    std::vector<RecordedMouseEvent> events;
    for (const RecordedEvent& event : recording.events) {
        if (const auto* mouse = std::get_if<RecordedMouseEvent>(&event.what)) {
            events.push_back(*mouse);
        }
    }
    return events;
}

std::string DescribeSetup(const USB_DEVICE_REQUEST& setup) {
    char text[40];
    std::snprintf(text, sizeof text, "s %02x %02x %04x %04x %04x", setup.bmRequestType,
                  setup.bRequest, setup.wValue, setup.wIndex, setup.wLength);
    return text;
}

std::string FormatDescriptors(const USB_DEVICE_DESCRIPTOR& device,
                              const std::vector<ce::host::UsbInterfaceModel>& interfaces) {
    return std::string(kRecordingHeader) + "\n" + "D device " + Hex(DeviceDescriptorBytes(device)) +
           "\nD config " + Hex(ConfigurationBytes(interfaces)) + "\n";
}

std::string FormatControlStart(double platformMs, const USB_DEVICE_REQUEST& setup,
                               std::span<const std::uint8_t> sent) {
    const bool in = (setup.bmRequestType & kDirectionIn) != 0;
    return WithData(Stamp(platformMs) + " S " + Pipe('C', in, 0) + " " + DescribeSetup(setup) +
                        " " + std::to_string(sent.size()),
                    sent);
}

std::string FormatControlEnd(double platformMs, const USB_DEVICE_REQUEST& setup,
                             const ce::host::ControlResult& result,
                             std::span<const std::uint8_t> received) {
    const bool in = (setup.bmRequestType & kDirectionIn) != 0;
    return WithData(Stamp(platformMs) + " C " + Pipe('C', in, 0) + " " +
                        std::to_string(result.usbError) + " " +
                        std::to_string(result.bytesTransferred),
                    in ? received : std::span<const std::uint8_t>());
}

std::string FormatPacket(double platformMs, const RecordedPacket& packet) {
    return WithData(Stamp(platformMs) + " C " + Pipe('I', true, packet.endpoint) + " " +
                        std::to_string(packet.usbError) + " " + std::to_string(packet.data.size()),
                    packet.data);
}

std::string FormatMouseEvent(double platformMs, const RecordedMouseEvent& event) {
    char text[64];
    std::snprintf(text, sizeof text, " E %04x %u %u\n", event.flags, event.dx, event.dy);
    return Stamp(platformMs) + text;
}

std::variant<UsbRecording, std::string> ParseRecording(std::string_view text) {
    Reader reader;
    std::size_t number = 0;
    bool headed = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!headed) {
            if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
                continue;
            }
            if (line.substr(0, line.find_last_not_of(" \t\r") + 1) != kRecordingHeader) {
                return "line " + std::to_string(number) + ": expected \"" + kRecordingHeader + "\"";
            }
            headed = true;
            continue;
        }
        if (const std::string error = reader.Line(line); !error.empty()) {
            return "line " + std::to_string(number) + ": " + error;
        }
    }
    if (!headed) {
        return std::string("an empty recording");
    }
    if (const std::string error = reader.Finish(); !error.empty()) {
        return error;
    }
    return std::move(reader.recording);
}

}  // namespace ots::sim
