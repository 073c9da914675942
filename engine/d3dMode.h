// A display mode as the device lists them: what the options screen of the actor library offers, in
// a header of its own so the library takes the mode without the rest of the device.
#pragma once

struct D3dMode {
  int width, height;
};
