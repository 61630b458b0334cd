#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orvenda {

// orvenda --convert SOURCE TARGET: opens SOURCE (".RSK", or the older ".RZK" and ".ZLB") as
// the Open command does and writes it as a project file, ".RSK" appended to TARGET unless it
// ends in it, as Save as does. `args` are the arguments after "--convert" (a leading
// "--convert" is skipped too). An existing target is not overwritten, since there is nobody to
// ask. Errors go to `err` as UTF-8 text and give a non-zero result; nothing is written then.
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& err);

}  // namespace orvenda
