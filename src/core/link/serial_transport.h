// A local serial port (QSerialPort) at 9600 8N1, with a watch for a device that hangs up.
#pragma once

#include "link/transport.h"

#include <QSerialPort>

class QSocketNotifier;

namespace quellaton {

class SerialTransport : public Transport {
    Q_OBJECT
public:
    explicit SerialTransport(QObject* parent = nullptr);
    ~SerialTransport() override;

    Opening open(const QString& location) override;
    void close() override;
    void drain(int ms) override;
    bool write(const QByteArray& bytes) override;
    qint64 outputQueued() const override;
    void collect() override;
    qint64 bytesAvailable() const override;
    QByteArray readAll() override;
    void discardInput() override;

    static constexpr int ReadBufferSize = 4096;

private:
    void onError(QSerialPort::SerialPortError error);
    void onHangupCheck();
    void startHangupWatch();
    void stopHangupWatch();

    // A child of the transport (findChild finds it), destroyed before it as a member.
    QSerialPort port_{this};
    bool closing_ = false;
    // A second descriptor of the open port, watched for hang-up: QSerialPort keeps polling a
    // hung-up terminal (it reads end-of-file forever without reporting an error), so the
    // transport notices the hang-up itself.
    int hangupFd_ = -1;
    QSocketNotifier* hangupNotifier_ = nullptr;
};

} // namespace quellaton
