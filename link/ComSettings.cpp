#include "link/ComSettings.h"

qint64 WriteTimeoutMs(const TComTimeouts& timeouts, int count) {
    return qint64(timeouts.WriteTotalConstant()) +
           qint64(timeouts.WriteTotalMultiplier()) * qint64(qMax(count, 0));
}

speed_t SpeedForBaudRate(int baudRate) {
    switch (baudRate) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

bool MakeLineSettings(termios& t, int baudRate, TParityBits parity) {
    const speed_t speed = SpeedForBaudRate(baudRate);
    if (speed == B0)
        return false;

    // Input: no CR/NL translation, no stripping of the eighth bit, no XON/XOFF, and no parity
    // checking of any kind: INPCK would let the driver drop or replace bytes with parity errors,
    // IGNPAR would drop them, PARMRK would insert marker bytes. A break arrives as a 0x00 byte.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                           ICRNL | IXON | IXOFF | IXANY | IMAXBEL | IUTF8);
    // Output: bytes leave exactly as written (no NL to CR NL and the like).
    t.c_oflag &= ~tcflag_t(OPOST);
    // No line editing, no echo, no signals from received control characters.
    t.c_lflag &= ~tcflag_t(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ISIG |
                           IEXTEN | NOFLSH | TOSTOP);
    // 8 data bits, 1 stop bit, no hardware handshake; CLOCAL so that the missing carrier of a
    // controller without modem lines neither blocks nor hangs up the port; HUPCL drops DTR and
    // RTS again when the device is closed.
    t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
    if (parity == TParityBits::Odd)
        t.c_cflag |= PARENB | PARODD;
    else if (parity == TParityBits::Even)
        t.c_cflag |= PARENB;
    // Reads return at once with what is waiting, up to the count asked for.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return true;
}

bool LineSettingsTaken(const termios& wanted, const termios& actual) {
    const tcflag_t framing = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    return (wanted.c_cflag & framing) == (actual.c_cflag & framing) &&
           cfgetospeed(&wanted) == cfgetospeed(&actual) &&
           cfgetispeed(&wanted) == cfgetispeed(&actual);
}
