// Output text built on the stack: formatting fills a fixed inline buffer and moves to the heap
// only when the text outgrows it, so the common short debug line allocates nothing and a long
// one is never cut short.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ce::kernel {

class TextBuffer {
  public:
    static constexpr std::size_t kInlineCapacity = 1024;

    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    void Append(std::string_view text);
    void Append(char c, std::size_t count);
    // UTF-8; surrogates and values beyond U+10FFFF become U+FFFD.
    void AppendCodePoint(char32_t codePoint);

    std::string_view View() const;
    bool OnHeap() const { return onHeap_; }

  private:
    void MoveToHeap(std::size_t extra);

    char inline_[kInlineCapacity];
    std::size_t size_ = 0;
    bool onHeap_ = false;
    std::string heap_;
};

}  // namespace ce::kernel
