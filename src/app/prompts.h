#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace ww {

enum class MsgIcon { None, Critical, Exclamation, Information };

// Every message box, input box and file dialog of the program goes through this layer, so
// tests can answer it and read what was said without a modal box blocking them.
class Prompts {
  public:
    virtual ~Prompts() = default;
    // Title empty: the application title. The box stays above `owner` when one is given (an
    // exchange window that stays on top), else above the main window.
    virtual void message(const QString& text, MsgIcon icon, const QString& title,
                         QWidget* owner = nullptr) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                         const QString& defaultAnswer) = 0;
    // Empty when the user cancels. The filter is in Qt's form: "Waveform data file(*.txt)".
    virtual QString openFileName(const QString& filter) = 0;
    // `chosenFilter`, when given, receives the filter the user chose.
    virtual QString saveFileName(const QString& filter, QString* chosenFilter = nullptr) = 0;
};

// The real dialogs.
class QtPrompts : public Prompts {
  public:
    explicit QtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const QString& text, MsgIcon icon, const QString& title,
                 QWidget* owner = nullptr) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& defaultAnswer) override;
    QString openFileName(const QString& filter) override;
    QString saveFileName(const QString& filter, QString* chosenFilter = nullptr) override;

  private:
    QWidget* m_parent;
};

inline const QString kAppTitle = QStringLiteral("Wavewright");

} // namespace ww
