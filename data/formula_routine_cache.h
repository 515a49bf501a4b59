#pragma once
// Compiled formulas kept over the runs of one re-scoring. Every run rewrites its formulas
// for its own answers, but a test's answers give few distinct texts (a condition becomes
// 0=0 or 1=0, an aggregate a small whole number), so most runs would compile again a text
// compiled a moment before. The routines read `vars` and `data` afresh on every run, so a
// routine compiled for one run computes exactly what a fresh compile gives for another.

#include <QHash>
#include <QString>

#include <cstddef>
#include <vector>

namespace kelvo {

// What a routine's compile depended on besides its text: the variables bound to the
// compiler. A change of them makes every kept routine stale.
struct FormulaBindings {
    size_t variableCount = 0;
    bool dataBound = false;
    size_t dataCount = 0;
    bool operator==(const FormulaBindings&) const = default;
};

class FormulaRoutineCache {
public:
    // At most this many routines are kept; beyond it every routine is freed and the cache
    // fills again, so that code memory stays bounded on any number of runs.
    static constexpr int kMaxRoutines = 8192;

    explicit FormulaRoutineCache(int maxRoutines = kMaxRoutines) : maxRoutines_(maxRoutines) {}
    FormulaRoutineCache(const FormulaRoutineCache&) = delete;
    FormulaRoutineCache& operator=(const FormulaRoutineCache&) = delete;
    ~FormulaRoutineCache();

    // Forgets every routine when the bindings differ from those they were compiled for.
    void useBindings(const FormulaBindings& bindings);

    // The routine of `prepared`, compiled now when it is not kept yet; null when it does
    // not compile, with the compiler's error state left as the compile set it. A text that
    // does not compile is not kept: its error is the compile's, every time.
    void* routineFor(const QString& prepared);

    // The formula `stored` of the variable at `position` (its `index`-th formula), as
    // rewritten for the compiler before the answers are put in; `translate` makes it
    // when it is not kept yet.
    template <class Translate>
    const QString& translated(size_t position, size_t index, const QString& stored, Translate translate)
    {
        if (translated_.size() <= position)
            translated_.resize(position + 1);
        std::vector<Translation>& formulas = translated_[position];
        if (formulas.size() <= index)
            formulas.resize(index + 1);
        Translation& kept = formulas[index];
        if (!kept.valid || kept.stored != stored)
            kept = {stored, translate(stored), true};
        return kept.text;
    }

    int routineCount() const { return static_cast<int>(routines_.size()); }

private:
    struct Translation {
        QString stored;
        QString text;
        bool valid = false;
    };

    void freeAll();

    int maxRoutines_;
    QHash<QString, void*> routines_;
    std::vector<std::vector<Translation>> translated_;
    FormulaBindings bindings_;
};

}  // namespace kelvo
