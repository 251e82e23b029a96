#pragma once

#include <QtGlobal>

// The presses of one key as an X server delivers them while the key is held: its auto-repeat comes
// either as presses without releases or as release and press pairs with one time stamp, which Qt
// does not always mark as repeated. Only the first press of a hold counts.
class HeldKey {
public:
    // True for the first press of a hold, false for a repeat. `time` is the event's server time.
    bool press(quint64 time)
    {
        const bool repeated = m_down || (m_releasedAt != 0 && m_releasedAt == time);
        m_down = true;
        return !repeated;
    }

    void release(quint64 time)
    {
        m_down = false;
        m_releasedAt = time;
    }

    // The release may never arrive (another window took the keyboard): the next press counts.
    void forget() { *this = HeldKey(); }

    bool isDown() const { return m_down; }

private:
    bool m_down = false;
    quint64 m_releasedAt = 0;
};
