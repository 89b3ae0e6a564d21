#include "common/visibletext.hpp"

namespace {

bool IsHidden(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7f; }

size_t FirstHidden(std::string_view text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    if (IsHidden(static_cast<unsigned char>(text[i]))) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string Visible(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  size_t at = 0;
  for (size_t hidden; (hidden = FirstHidden(text, at)) != std::string_view::npos; at = hidden + 1) {
    shown.append(text.substr(at, hidden - at));
    unsigned char c = static_cast<unsigned char>(text[hidden]);
    shown += '^';
    shown += c == 0x7f ? '?' : static_cast<char>(c + '@');
  }
  shown.append(text.substr(at));
  return shown;
}

void PutVisible(std::string_view text, std::FILE* out) {
  // Ordinary text, the usual case, is written as it is.
  if (FirstHidden(text, 0) == std::string_view::npos) {
    std::fwrite(text.data(), 1, text.size(), out);
    return;
  }
  std::string shown = Visible(text);
  std::fwrite(shown.data(), 1, shown.size(), out);
}
