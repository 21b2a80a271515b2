#pragma once
// Placeholder; the harness lands with the foundation.
