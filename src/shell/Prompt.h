#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace kordex::shell {

// Every message box of the program goes through a Prompt: the GUI shows a
// modal box, tests script the answers and look at what was asked.
enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

// The captions the program uses for its message boxes.
inline const QString CaptionError = QStringLiteral("Ошибка");
inline const QString CaptionWarning = QStringLiteral("Предупреждение");
inline const QString CaptionConfirm = QStringLiteral("Подтверждение");
inline const QString CaptionMessage = QStringLiteral("Сообщение");

class Prompt {
public:
    virtual ~Prompt() = default;
    virtual Answer Ask(const QString& caption, const QString& text, Icon icon, Buttons buttons) = 0;
};

// What a ScriptedPrompt answers when its script has run out.
enum class DefaultAnswer {
    Affirmative,  // Ok or Yes
    Negative,     // Cancel or No (Ok for an Ok-only box)
};

// The answer the given policy gives to a box with these buttons.
Answer DefaultFor(Buttons buttons, DefaultAnswer policy);

// Answers by a policy where nobody is asked (the command line, scripts). A
// "try again ?" answered Yes by a policy would repeat for ever against a
// collector that never gives in, so one question asked again and again is
// answered by the policy at most MaxRepeats times in a row, then Cancel or No.
class PolicyAnswers {
public:
    static constexpr int MaxRepeats = 10;
    Answer Next(const QString& text, Buttons buttons, DefaultAnswer policy);

private:
    QString last_;
    int repeats_ = 0;
};

struct Question {
    QString caption;
    QString text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};

// Answers from a script, in order, and records every question it was asked.
class ScriptedPrompt : public Prompt {
public:
    explicit ScriptedPrompt(DefaultAnswer whenEmpty = DefaultAnswer::Affirmative)
        : whenEmpty_(whenEmpty) {}

    Answer Ask(const QString& caption, const QString& text, Icon icon, Buttons buttons) override;

    // Queue the answers for the next questions.
    void Script(std::initializer_list<Answer> answers);
    void SetDefault(DefaultAnswer whenEmpty) { whenEmpty_ = whenEmpty; }

    const std::vector<Question>& Asked() const { return asked_; }
    // Texts of every question so far, in order.
    QStringList Texts() const;
    int Count(const QString& text) const;
    void Clear() {
        asked_.clear();
        answers_.clear();
    }

private:
    DefaultAnswer whenEmpty_;
    PolicyAnswers policy_;
    std::deque<Answer> answers_;
    std::vector<Question> asked_;
};

}  // namespace kordex::shell
