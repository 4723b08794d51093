#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace ww {

// What an exchange needs of its line: open it, write bytes, hear that bytes arrived and read
// them, see what has not left yet, throw away what waits, close it. A QSerialPort stands behind
// it in the program (SerialLink), a plain in-memory line in the engine tests.
class Transport : public QObject {
    Q_OBJECT
  public:
    struct Options {
        int flowControl = -1; // -1: left as configured; 0 none, 1 XOn/XOff, 2 RTS/CTS
        bool dtrRts = false;  // raise DTR and RTS
    };
    using QObject::QObject;

    // Empty on success, else the message for the user (names the port and the reason).
    virtual QString open(int comNumber, const QString& settings, const Options& options) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Handed on to the line at once.
    virtual void write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Throws away what waits to be read (input) or to be read and sent (both).
    virtual void discardInput() = 0;
    virtual void discardBuffers() = 0;
    // Bytes written that have not left the port yet (on a socket: that the other end has not
    // acknowledged).
    virtual qint64 pendingOutput() const = 0;
    // Of those, what the program itself still holds: the system's queue is the line's to bound.
    virtual qint64 queuedOutput() const { return pendingOutput(); }
    // Whether bytes written now start on their way (a socket still connecting keeps them).
    virtual bool ready() const { return isOpen(); }
    // Whether each write is one message that must not be split (a USB instrument).
    virtual bool keepsMessages() const { return false; }

  signals:
    void bytesArrived();
    // Written bytes moved on towards the instrument: room may have been made.
    void outputMoved();
    // The line failed while open: reported once per opening, never from inside the port's
    // own signals, so the receiver may close it.
    void lost(const QString& reason);
};

} // namespace ww
