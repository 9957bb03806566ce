#pragma once

// Live sound levels of what is being recorded, and the microphone test.
