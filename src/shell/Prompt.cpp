#include "Prompt.h"

namespace kordex::shell {

Answer DefaultFor(Buttons buttons, DefaultAnswer policy) {
    const bool yes = policy == DefaultAnswer::Affirmative;
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return yes ? Answer::Ok : Answer::Cancel;
        case Buttons::YesNo:
            return yes ? Answer::Yes : Answer::No;
        case Buttons::YesNoCancel:
            return yes ? Answer::Yes : Answer::Cancel;
    }
    return Answer::Ok;
}

Answer PolicyAnswers::Next(const QString& text, Buttons buttons, DefaultAnswer policy) {
    repeats_ = text == last_ ? repeats_ + 1 : 1;
    last_ = text;
    if (repeats_ > MaxRepeats) return DefaultFor(buttons, DefaultAnswer::Negative);
    return DefaultFor(buttons, policy);
}

Answer ScriptedPrompt::Ask(const QString& caption, const QString& text, Icon icon,
                           Buttons buttons) {
    asked_.push_back({caption, text, icon, buttons});
    if (answers_.empty()) return policy_.Next(text, buttons, whenEmpty_);
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
}

void ScriptedPrompt::Script(std::initializer_list<Answer> answers) {
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

QStringList ScriptedPrompt::Texts() const {
    QStringList out;
    for (const auto& q : asked_)
        out << q.text;
    return out;
}

int ScriptedPrompt::Count(const QString& text) const {
    int n = 0;
    for (const auto& q : asked_)
        n += q.text == text;
    return n;
}

}  // namespace kordex::shell
