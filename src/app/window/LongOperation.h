#pragma once

namespace kordex::app {

// The long operations running in the program: a read, a write, a clock
// correction, a login opening the tables. While one runs, the main window
// starts no command, no page change and no other long operation; the status
// window is the only way in.
class LongOperations {
public:
    bool Running() const { return running_ > 0; }

    // Held for the length of one operation.
    class Hold {
    public:
        explicit Hold(LongOperations& operations) : operations_(operations) {
            ++operations_.running_;
        }
        ~Hold() { --operations_.running_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        LongOperations& operations_;
    };

private:
    int running_ = 0;
};

}  // namespace kordex::app
