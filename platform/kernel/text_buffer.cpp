#include "text_buffer.h"

#include <cstring>

#include "wide_utf8.h"

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
    char bytes[text::kMaxUtf8Bytes];
    Append(std::string_view(bytes, text::EncodeCodePoint(codePoint, bytes)));
}

std::string_view TextBuffer::View() const {
    return onHeap_ ? std::string_view(heap_) : std::string_view(inline_, size_);
}

}  // namespace ce::kernel
