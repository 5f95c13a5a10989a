#pragma once

// Client side of the exchange's text control interface (see README.md): used by `isdnsim call`,
// the tests and the benchmarks.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace isdnsim {

class ControlClient
{
public:
    ControlClient() = default;
    ~ControlClient();
    ControlClient(const ControlClient &) = delete;
    ControlClient &operator=(const ControlClient &) = delete;

    bool connect(const std::string &host, uint16_t port, std::string *error);
    void close();
    bool sendLine(const std::string &line);
    // Next line from the server; false on end of stream or when timeoutMs passes (-1 waits forever).
    bool readLine(std::string *line, int timeoutMs);
    // Sends a command and collects the lines up to and including the one starting with "END"
    // or "ERROR"; empty on timeout.
    std::vector<std::string> request(const std::string &line, int timeoutMs);

private:
    int m_fd = -1;
    std::string m_buffer;
};

// "host:port" (or just a port) -> parts; false when malformed.
bool parseServer(const std::string &text, std::string *host, uint16_t *port);

// What happened to one call placed through the control interface.
struct CallReport
{
    std::vector<uint16_t> order;                            // applications in the order offered
    std::map<uint16_t, std::vector<std::string>> reactions; // per application, in order
    int offered = 0;
    std::string result; // connected, busy, rejected, ignored, no-answer, hung-up, nobody
    std::string endLine;
    bool complete = false; // the END line arrived

    // Folds one line of the call's stream into the report.
    void add(const std::string &line);
    std::vector<std::string> format() const; // one line per application
};

// Value of key=value in a line of the control protocol ("" when absent).
std::string lineValue(const std::string &line, const std::string &key);

// True once an application on the exchange at 127.0.0.1:`port` has told it which calls it wants
// (a listen request with a CIP mask).
bool SomeApplicationListens(uint16_t port);

} // namespace isdnsim
