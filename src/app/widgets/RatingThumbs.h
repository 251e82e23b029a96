#pragma once

#include "records/Enums.h"

class QToolButton;
class QWidget;

// Shows a call's rating on its pair of thumbs, as the call window and the calls list both do: the chosen
// thumb is checked and takes its colour (green for good, red for bad), the other stays in the secondary
// text colour of `owner`, the control that holds them. Their toggled signals are held back, so showing a
// rating never counts as a tap.
void showRatingThumbs(const QWidget& owner, QToolButton& good, QToolButton& bad, CallOutcome outcome);
