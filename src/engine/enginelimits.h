#pragma once

// Every time limit and delay of an upgrade run, in milliseconds. Tests
// shorten them; the program uses the defaults.
struct EngineLimits
{
    int scanMs = 5000;      // dfu-util -l must have finished by then
    int startMs = 3000;     // the flashing dfu-util must have started by then
    int transferMs = 30000; // a request with no data moving for this long fails
    // An image whose connection drops or stalls once bytes have come is asked
    // for again this often, after a pause that doubles each time (1, 2, 4 s).
    int retries = 3;
    int retryPauseMs = 1000;
    int burnDelayMs = 500;    // from the verified image to the flash
    int restartDelayMs = 500; // from a cancel to the new run
    int cancelGraceMs = 1000; // a cancelled dfu-util may take this long to end
    int closeGraceMs = 2000;  // a dfu-util running at shutdown may take this long
};
