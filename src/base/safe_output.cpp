#include "base/safe_output.h"

#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda {

void RefuseOutputOverInputs(const std::filesystem::path& output,
                            const std::vector<std::filesystem::path>& inputs) {
  for (const std::filesystem::path& input : inputs) {
    if (input.empty()) continue;
    std::error_code ec;
    // Either missing: nothing to destroy.
    if (std::filesystem::equivalent(output, input, ec) && !ec) {
      throw Error(Msg(105, {Utf8ToCp1250(output.string()), Utf8ToCp1250(input.string())}));
    }
  }
}

}  // namespace orvenda
