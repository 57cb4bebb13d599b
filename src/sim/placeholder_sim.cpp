// placeholder until the sim layer lands
