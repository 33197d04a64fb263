#pragma once

// The position of the download's progress bar. The number of events to come
// is not known, so the bar shows activity: it starts at 1 of the range 0 to
// 100, moves one step per event taken, and after 100 starts again at 1.
class ProgressPosition
{
public:
    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 100;

    void Start() { m_position = 1; }
    int Advance()
    {
        m_position = (m_position % kMaximum) + 1;
        return m_position;
    }
    int Position() const { return m_position; }

private:
    int m_position = 1;
};
