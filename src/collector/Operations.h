#pragma once

#include <QString>

#include "Pages.h"
#include "link/DateTime.h"
#include "link/Frames.h"

namespace kordex::shell {
class Prompt;
class StatusWindow;
class Clock;
}  // namespace kordex::shell

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::store {
class TDM;
class Rules;
}  // namespace kordex::store

namespace kordex::collector {

// Messages and texts of reading and writing a collector.
namespace text {
inline const QString ReadCaption = QStringLiteral("Чтение из устройства");
inline const QString ReadStatus = QStringLiteral("Идет чтение данных из Kordex'а...");
inline const QString WriteCaption = QStringLiteral("Запись в устройство");
inline const QString WriteStatus = QStringLiteral("Идет запись данных в Kordex...");
inline const QString BadStamp = QStringLiteral(
    "Неверная дата и/или время регистрации.\rВыбрать дату и время из списка регистраций ?");
inline const QString AlreadyRead = QStringLiteral(
    "Данные из устройства уже были прочитаны и сохранены !\rВычитать заново и заменить данные ?");
inline const QString Overflow = QStringLiteral(
    "В результате переполнения числа событий возможно получение только 1000 последних событий.");
inline const QString UnknownPath = QStringLiteral(
    "Неизвестный маршрут обхода !\rВозможна обработка прочитанных данных только как в режиме "
    "без маршрута.");
inline const QString ReadDone = QStringLiteral("Данные успешно прочитаны из устройства.");
inline const QString NoRegistrar = QStringLiteral("Не задан регистратор !");
inline const QString NoGuard = QStringLiteral("Не задан охранник !");
// %1: the character of the memo that the collector cannot keep.
inline const QString MemoCharacter =
    QStringLiteral("Символ «%1» в доп. информации не может быть записан в Kordex !");
inline const QString WriteQuestion = QStringLiteral("Записать данные в Kordex ?");
inline const QString InitFailed =
    QStringLiteral("Ошибка инициализации Kordex'а !\rПовторить попытку инициализации ?");
inline const QString WriteDone = QStringLiteral("Данные успешно записаны в устройство !");
// A store failure ends a read or a write; its cause follows on a second line.
inline const QString ReadFailed = QStringLiteral("Ошибка при чтении данных из Kordex'а !");
inline const QString WriteFailed = QStringLiteral("Ошибка при записи данных в Kordex !");
inline const QString JournalRead = QStringLiteral("Чтение из Kordex'а");
inline const QString JournalInit = QStringLiteral("Инициализация Kordex'а");
inline const QString JournalWrite = QStringLiteral("Запись в Kordex");
inline const QString UnknownRegistrar = QStringLiteral("Неизвестный регистратор");
inline const QString UnknownCollector = QStringLiteral("Неизвестный Kordex");
inline const QString UnknownGuard = QStringLiteral("Неизвестный охранник");
}  // namespace text

// Reading a collector into a round and writing a collector for a patrol.
class Operations {
public:
    Operations(link::ReaderLink& link, store::TDM& dm, store::Rules& rules, shell::Prompt& prompt,
               shell::StatusWindow& status, shell::Clock& clock, DevicePages& pages);

    // "Чтение данных из Kordex'а". True when the round was read and judged
    // (it then stays pending on the read page, unposted).
    bool ActionDReadExecute();
    // "Запись данных в Kordex". True when the collector was written.
    bool ActionDWriteExecute();

    // One event slot's data into a touch of the pending round; reference is
    // the time of the touch before (the registration for the first).
    void ReadEventRecord(link::DateTime& reference, const link::Block& data);

private:
    bool Read(uint16_t address, link::Block& data);
    bool Write(uint16_t address, const link::Block& data, bool verify = true);
    void AddPerson(const QString& key, const QString& name, bool isRegister, bool isAdmin);
    bool KnownAnywhere(const QString& key);
    bool Stamp(const link::Block& block, const QString& registrarKey, link::DateTime& out);
    bool ReadAndJudge();
    bool ReadRound(const link::DateTime& registration, const QString& registrar);
    bool JudgeRound();
    void DropRound() noexcept;
    void Finish() noexcept;
    void Fail(const QString& message, const std::exception* cause);
    bool WaitUntil(const QDateTime& when);
    bool WriteCollector(const QString& registrar, const WriteChoices& choices);

    link::ReaderLink& link_;
    store::TDM& dm_;
    store::Rules& rules_;
    shell::Prompt& prompt_;
    shell::StatusWindow& status_;
    shell::Clock& clock_;
    DevicePages& pages_;
    ReadOptions options_;
    int pointCounter_ = 1;
    bool keepUnjudged_ = false;  // the read stopped at the unknown path: the round stays
};

}  // namespace kordex::collector
