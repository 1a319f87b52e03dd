// The traffic-light lamps of the job panel, drawn at run time: a lit red, yellow or green lamp and
// a dark one, 200 x 200 pixels, in a dark housing with a glass highlight.
#pragma once
#include <QPixmap>

namespace tw {

enum class LampImage { Red, Yellow, Green, Dark };

QPixmap DrawLamp(LampImage which, int size = 200);

}  // namespace tw
