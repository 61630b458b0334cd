#pragma once

#include <QIcon>
#include <QStyle>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace orvenda {

// Widgets that carry a component name (their objectName), made the same way in every window.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* utf8Caption);
// A flat 26-pixel button with a 16-pixel icon, as in the windows' button rows.
QToolButton* MakeSpeedButton(QWidget* parent, const char* name, const QIcon& icon);
// A push button with one of the style's standard icons; the form gives its caption.
QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon);

// A dialog's OK (the default button) and cancel buttons at the right of a row.
QHBoxLayout* MakeOkCancelRow(QWidget* parent, const char* okName, const char* cancelName);
// A big centred heading, as on the pages shown when nothing is selected.
void StyleAsHeading(QLabel* label);

}  // namespace orvenda
