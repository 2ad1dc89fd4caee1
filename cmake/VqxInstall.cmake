install(TARGETS vqx)
