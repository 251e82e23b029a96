#pragma once

class StoreContext;

// What one request may touch: its own store context, and the flags it raises for the loop.
struct RequestState {
    StoreContext& context;
    bool changed = false; // a tool saved: post the store-changed notification
    bool exit = false; // the executable was replaced: answer, then end the process
};
