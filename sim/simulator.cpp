// The instrument simulator.
