#include "core/db/Walk.h"

namespace quorix {

namespace {

// The progress goes when the walk ends, however it ends.
class ProgressShown {
public:
    explicit ProgressShown(const WalkHooks &hooks) : m_hooks(hooks) {}
    ~ProgressShown() {
        if (m_hooks.progress)
            m_hooks.progress(QString());
    }
    ProgressShown(const ProgressShown &) = delete;
    ProgressShown &operator=(const ProgressShown &) = delete;

private:
    const WalkHooks &m_hooks;
};

bool stopped(const WalkRules &rules, const WalkHooks &hooks) {
    if (hooks.yield)
        hooks.yield();
    if (!rules.stopOnStop || !hooks.stopTicked || !hooks.stopTicked())
        return false;
    if (rules.untickStop && hooks.untickStop)
        hooks.untickStop();
    return true;
}

} // namespace

QString walkProgress(int number, int count, const QString &name) {
    return QStringLiteral("%1 of %2: %3").arg(number).arg(count).arg(name);
}

bool runWalk(const WalkItems &items, const std::function<WalkOn(int)> &work, const WalkRules &rules,
             const WalkHooks &hooks) {
    ProgressShown shown(hooks);
    if (rules.stopFirst && stopped(rules, hooks))
        return false;
    const int once = items.count();
    for (int i = 0;; ++i) {
        const int count = items.reread ? items.count() : once;
        if (i >= count)
            return true;
        const std::optional<QString> name = items.take(i);
        if (!name)
            return false;
        if (hooks.beforeStep)
            hooks.beforeStep();
        if (hooks.progress)
            hooks.progress(walkProgress(i + 1, count, *name));
        if (work(i) == WalkOn::End)
            return false;
        if (stopped(rules, hooks))
            return false;
        if (rules.followAll && hooks.allTicked && !hooks.allTicked())
            return false;
    }
}

} // namespace quorix
