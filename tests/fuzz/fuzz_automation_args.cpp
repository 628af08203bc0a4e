// The automation command line on any arguments (cut at U+0000, as the system hands them over): it is
// either refused with a message or read into steps that each carry what they need, taken from the
// arguments as given.

#include "FuzzInput.h"

#include "gui/app/Automation.h"

using namespace quorix;
using Kind = AutomationStep::Kind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = fuzz::textOf(data, size);
    const QStringList args = text.isEmpty() ? QStringList() : text.split(QChar(0));
    const AutomationPlan plan = Automation::parse(args);
    if (!plan.error.isEmpty())
        return 0;

    qsizetype valued = 0;
    for (const AutomationStep &step : plan.steps) {
        const qsizetype space = step.option.indexOf(QLatin1Char(' '));
        fuzz::require(space > 0 && args.contains(step.option.left(space)), "a step names its option",
                      step.option);
        const QString given = step.option.mid(space + 1);
        switch (step.kind) {
        case Kind::Set:
        case Kind::Select:
            fuzz::require(!step.name.isEmpty() && !step.name.contains(QLatin1Char('=')) &&
                              step.name + QLatin1Char('=') + step.value == given,
                          "NAME=VALUE is cut at its first '='", step.name + QLatin1Char('|') + step.value,
                          given);
            break;
        case Kind::Answer:
            fuzz::require(step.value == QLatin1String("yes") || step.value == QLatin1String("no"),
                          "an answer is yes or no", step.value);
            break;
        default:
            fuzz::require(!step.name.isEmpty() && step.name == given, "a name is taken as given", step.name,
                          given);
        }
        ++valued;
    }
    fuzz::require(args.size() >= 2 * valued, "every step took its value from the arguments",
                  QString::number(valued), QString::number(args.size()));
    plan.scriptedAnswers();
    plan.firstAnswer();
    return 0;
}
