// The user interface's lifetime. A program brings it up once at start-up
// with a Session; ui services used without one (tests) bring it up on first
// use and keep it to the end of the process.
#pragma once

namespace dravenlok::ui {

class Session {
public:
    // `programPath` names the program to the window system; no other
    // argument is passed on, so the program reacts to none.
    explicit Session(const char* programPath);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    bool m_owned = false;
};

}  // namespace dravenlok::ui
