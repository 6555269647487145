// Keeps Windows from slowing the launcher down as a background program.
#pragma once

// Windows may throttle a windowless background process when the machine is
// busy, which would slow the keyboard hook exactly while the game loads the
// machine. Asks to be left at full speed; a system without the call, or one
// that refuses, changes nothing.
void OptOutOfPowerThrottling();
