"""What the fault scenarios add to the end-to-end harness of tests/e2e (which they only import)."""
