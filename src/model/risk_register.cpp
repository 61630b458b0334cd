#include "model/risk_register.h"

#include <vector>

#include "model/risk.h"

namespace orvenda {

std::string RegisterMessage(const Messages& messages, int n) {
  const std::string& text = messages.Get(n);
  if (!text.empty()) return text;
  static const std::vector<std::string> defaults = Messages::Defaults();
  return n >= 0 && n < static_cast<int>(defaults.size()) ? defaults[n] : std::string();
}

std::string RegisterColumnTitle(const Messages& messages, RegisterColumn column) {
  return RegisterMessage(messages, kRegisterColumnMessages[static_cast<int>(column)]);
}

std::string RegisterCategory(const Messages& messages, int32_t level) {
  const int band = RatedBand(level);
  return RegisterMessage(messages, band == 0 ? register_msg::kUnrated : band);
}

std::string FillMessage(std::string_view text, std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t k = static_cast<size_t>(text[i + 1] - '1');
      if (k < args.size()) {
        out += *(args.begin() + k);
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace orvenda
