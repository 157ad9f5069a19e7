"""What the fault scenarios add to the Wine/X toolkit (fenntest): mounts, Wine without root's
access to every folder, and the checks of what a run left on disk."""
