#pragma once

// The keyboard's input source (the XKB layout group).
