// The star a click picks, gathered by the star walk of the frame after the
// click: each drawn star is offered with its pixel and the magnitude it was
// drawn at, and the nearest within reach is kept.
#ifndef STARHOP_STAR_PICK_H
#define STARHOP_STAR_PICK_H

class star_type;

class star_pick {
public:
    static constexpr int reach = 6;                   // pixels from the click

    star_pick(int column, int row) : column_(column), row_(row) {}
    void offer(const star_type* s, int column, int row, float magnitude)
    {
        const int dx = column - column_, dy = row - row_;
        const int squared = dx * dx + dy * dy;
        if (squared > best_squared_) return;                    // farther than the best so far
        if (squared == best_squared_ && best_ && !(magnitude <= best_magnitude_)) return;   // as near, fainter
        best_ = s;                                              // of two alike, the later drawn: on top
        best_squared_ = squared;
        best_magnitude_ = magnitude;
    }
    // The star picked; null when none was drawn within reach.
    const star_type* best() const { return best_; }

private:
    int column_, row_;
    const star_type* best_ = nullptr;
    int best_squared_ = reach * reach;
    float best_magnitude_ = 0;
};

#endif
