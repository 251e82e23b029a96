#include "app/widgets/RatingThumbs.h"

#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"

#include <QSignalBlocker>
#include <QToolButton>

void showRatingThumbs(const QWidget& owner, QToolButton& good, QToolButton& bad, CallOutcome outcome)
{
    const QColor idle = appStyle::textColor(owner, appStyle::secondaryOpacity);
    const bool isGood = outcome == CallOutcome::positive;
    const bool isBad = outcome == CallOutcome::negative;
    const QSignalBlocker goodBlocker(&good);
    const QSignalBlocker badBlocker(&bad);
    good.setChecked(isGood);
    good.setIcon(appIcon(AppIcon::thumbsUp, isGood ? appStyle::green() : idle));
    bad.setChecked(isBad);
    bad.setIcon(appIcon(AppIcon::thumbsDown, isBad ? appStyle::red() : idle));
}
