#include "touch/point_history.h"

void PushPoint(PointHistory* history, const ots::TouchPoint& point) {
    history->E[0] = history->E[1];
    history->E[1] = history->E[2];
    history->E[2] = history->E[3];
    history->E[3] = point;
}

void ClearHistory(PointHistory* history) {
    for (ots::TouchPoint& entry : history->E) {
        entry.valid = 0;
    }
}
