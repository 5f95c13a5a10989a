// Keeps the GUI library non-empty until its first window lands.
namespace rufwart::gui { int placeholder() { return 0; } }
