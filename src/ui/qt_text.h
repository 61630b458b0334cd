#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace orvenda {

// The core's texts are windows-1250 bytes; widgets speak QString. These are the only two
// conversions between them.
QString FromCp1250(std::string_view bytes);
// A character that windows-1250 cannot hold becomes "?" (never the encoder's 0x1A, which
// would end a dBase memo).
std::string ToCp1250(const QString& text);

// Numbered message n of the list in force, for a widget; %1, %2, ... are left for QString::arg.
QString MessageText(int n);

}  // namespace orvenda
