// SPDX-License-Identifier: MIT

#pragma once

class QWidget;

namespace glidewheel {

// The smaller of the desktop's two control sizes, for controls that sit in a dense form or
// beside small text: the same look as a regular control, drawn with about three quarters of
// its height. Sliders get a thinner groove and a smaller knob; buttons less padding above and
// below their title.
void setSmallControlSize(QWidget& control);

}  // namespace glidewheel
