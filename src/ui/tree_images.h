#pragma once

#include <QIcon>
#include <array>

namespace orvenda {

// The tree's three 16 × 16 images, by the image index of TreeControl: collapsed node,
// expanded node, risk. Drawn once, at first use.
const std::array<QIcon, 3>& TreeImages();
// The same image in the colour of a risk category (RatedBand: 0 unrated, 1..5): a risk's
// triangle filled with it, a node's folder with a disc of it. Drawn once per colour.
const QIcon& BandTreeImage(int image, int band);

// The program's icon (window icon, About and splash).
QIcon ApplicationIcon();

}  // namespace orvenda

namespace orvenda {

// Images of the four tree buttons: add node, add risk, add from library, delete.
enum class ButtonImage { AddNode, AddRisk, AddFromLibrary, Delete };
QIcon ButtonIcon(ButtonImage image);

}  // namespace orvenda
