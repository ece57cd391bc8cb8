#include "text_buffer.h"

#include <cstring>

namespace ce::kernel {

void TextBuffer::MoveToHeap(std::size_t extra) {
    heap_.reserve(size_ + extra + kInlineCapacity);
    heap_.assign(inline_, size_);
    onHeap_ = true;
}

void TextBuffer::Append(std::string_view text) {
    if (!onHeap_ && size_ + text.size() > kInlineCapacity) {
        MoveToHeap(text.size());
    }
    if (onHeap_) {
        heap_.append(text);
        return;
    }
    std::memcpy(inline_ + size_, text.data(), text.size());
    size_ += text.size();
}

void TextBuffer::Append(char c, std::size_t count) {
    if (!onHeap_ && size_ + count > kInlineCapacity) {
        MoveToHeap(count);
    }
    if (onHeap_) {
        heap_.append(count, c);
        return;
    }
    std::memset(inline_ + size_, c, count);
    size_ += count;
}

void TextBuffer::AppendCodePoint(char32_t codePoint) {
    if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
        codePoint = 0xFFFD;
    }
    char bytes[4];
    std::size_t length = 0;
    if (codePoint < 0x80) {
        bytes[length++] = static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        bytes[length++] = static_cast<char>(0xC0 | (codePoint >> 6));
        bytes[length++] = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes[length++] = static_cast<char>(0xE0 | (codePoint >> 12));
        bytes[length++] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        bytes[length++] = static_cast<char>(0xF0 | (codePoint >> 18));
        bytes[length++] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    Append(std::string_view(bytes, length));
}

std::string_view TextBuffer::View() const {
    return onHeap_ ? std::string_view(heap_) : std::string_view(inline_, size_);
}

}  // namespace ce::kernel
