"""Drives the Windows build of the setup under Wine, on a virtual X display, like a person would."""
